#include "spell/phonetic_key.h"

namespace qn::spell {

namespace {

bool isSilent(uint8_t c)
{
    switch (c) {
    case 'A':
    case 'E':
    case 'H':
    case 'I':
    case 'O':
    case 'U':
    case 'W':
    case 'Y':
    case 0x9F:
    case 0xF0:
        return true;
    default:
        return (c >= 0xC0 && c <= 0xC6) || (c >= 0xC8 && c <= 0xCF) || (c >= 0xD2 && c <= 0xD6) ||
               (c >= 0xD8 && c <= 0xDD);
    }
}

uint8_t soundClass(uint8_t c)
{
    switch (c) {
    case 'B':
    case 'F':
    case 'P':
    case 'V':
    case 0xDE:
    case 0xDF:
    case '6':
    case '8':
        return '1';
    case 'C':
    case 'G':
    case 'J':
    case 'K':
    case 'Q':
    case 'S':
    case 'X':
    case 'Z':
    case 0x8A:
    case 0x8C:
    case 0xC7:
    case '3':
    case '4':
    case '5':
    case '9':
        return '2';
    case 'D':
    case 'T':
    case 0xD0:
        return '3';
    case 'L':
    case '2':
        return '4';
    case 'M':
    case 'N':
    case 0xD1:
        return '5';
    case 'R':
        return '6';
    case '\'':
    case '-':
    case '`':
        return '7';
    case '0':
        return 'O';
    case '1':
    case '7':
        return 'I';
    default:
        return c;
    }
}

// Fills key with the characters found; returns how many.
size_t buildKey(std::string_view text, PhoneticKey &key)
{
    if (text.empty())
        return 0;
    size_t n = 0;
    key[n++] = static_cast<uint8_t>(text[0]);
    for (size_t i = 1; i < text.size() && n < key.size(); ++i) {
        uint8_t c = static_cast<uint8_t>(text[i]);
        if (isSilent(c))
            continue;
        c = soundClass(c);
        bool seen = false;
        for (size_t k = 0; k < n; ++k)
            seen = seen || key[k] == c;
        if (!seen)
            key[n++] = c;
    }
    return n;
}

} // namespace

PhoneticKey TargetKey(std::string_view upperWord)
{
    PhoneticKey key{};
    buildKey(upperWord, key);
    return key;
}

PhoneticKey PrefixKey(std::string_view upperPrefix, const PhoneticKey &reference)
{
    PhoneticKey key{};
    for (size_t n = buildKey(upperPrefix, key); n < key.size(); ++n)
        key[n] = reference[n];
    return key;
}

} // namespace qn::spell
