#include "spell/spell_letters.h"

namespace qn::spell {

static constexpr std::array<uint8_t, kAlphabetSize> makeAlphabet()
{
    std::array<uint8_t, kAlphabetSize> a{};
    int n = 0;
    for (int c = 'A'; c <= 'Z'; ++c)
        a[n++] = static_cast<uint8_t>(c);
    a[n++] = '\'';
    a[n++] = '-';
    a[n++] = 0x8A; // S caron
    a[n++] = 0x8C; // OE
    a[n++] = 0x9F; // Y diaeresis
    for (int c = 0xC0; c <= 0xD6; ++c)
        a[n++] = static_cast<uint8_t>(c);
    for (int c = 0xD8; c <= 0xDF; ++c)
        a[n++] = static_cast<uint8_t>(c);
    a[n++] = 0xF0; // eth
    a[n++] = '`';
    return a;
}

const std::array<uint8_t, kAlphabetSize> kAlphabet = makeAlphabet();

namespace {

struct CodeTable {
    std::array<uint8_t, 256> code{};
    std::array<bool, 256> own{};

    CodeTable()
    {
        for (int i = 0; i < kAlphabetSize; ++i) {
            code[kAlphabet[i]] = static_cast<uint8_t>(i);
            own[kAlphabet[i]] = true;
        }
        auto lowerOf = [this](int from, int to) {
            for (int c = from; c <= to; ++c)
                code[c] = code[c - 0x20];
        };
        lowerOf('a', 'z');
        lowerOf(0xE0, 0xEF);
        lowerOf(0xF1, 0xF6);
        lowerOf(0xF9, 0xFC);
        lowerOf(0xFD, 0xFE);
        code[0xFF] = code[0x9F];
    }
};

const CodeTable &codeTable()
{
    static const CodeTable table;
    return table;
}

} // namespace

uint8_t LetterCode(uint8_t ch)
{
    return codeTable().code[ch];
}

bool InAlphabet(uint8_t ch)
{
    return codeTable().own[SpellUpper(ch)];
}

uint8_t SpellUpper(uint8_t ch)
{
    if (ch >= 'a' && ch <= 'z')
        return static_cast<uint8_t>(ch - 0x20);
    if (ch >= 0xE0 && ch <= 0xFE && ch != 0xF0 && ch != 0xF7)
        return static_cast<uint8_t>(ch - 0x20);
    switch (ch) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0xFF:
        return 0x9F;
    default:
        return ch;
    }
}

std::string SpellUpperCase(std::string_view text)
{
    std::string out(text);
    for (char &c : out)
        c = static_cast<char>(SpellUpper(static_cast<uint8_t>(c)));
    return out;
}

bool IsUpperLetter(uint8_t ch)
{
    return (ch >= 'A' && ch <= 'Z') || ch == 0x8A || ch == 0x8C || ch == 0x8E || ch == 0x9F ||
           (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7);
}

bool IsLowerLetter(uint8_t ch)
{
    return (ch >= 'a' && ch <= 'z') || ch == 0x83 || ch == 0x9A || ch == 0x9C || ch == 0x9E ||
           ch == 0xAA || ch == 0xB5 || ch == 0xBA || (ch >= 0xDF && ch != 0xF7);
}

bool IsLetter(uint8_t ch)
{
    return IsUpperLetter(ch) || IsLowerLetter(ch);
}

uint8_t CharLower(uint8_t ch)
{
    if ((ch >= 'A' && ch <= 'Z') || (ch >= 0xC0 && ch <= 0xDE && ch != 0xD7))
        return static_cast<uint8_t>(ch + 0x20);
    switch (ch) {
    case 0x8A:
        return 0x9A;
    case 0x8C:
        return 0x9C;
    case 0x8E:
        return 0x9E;
    case 0x9F:
        return 0xFF;
    default:
        return ch;
    }
}

uint8_t CharUpper(uint8_t ch)
{
    if ((ch >= 'a' && ch <= 'z') || (ch >= 0xE0 && ch <= 0xFE && ch != 0xF7))
        return static_cast<uint8_t>(ch - 0x20);
    switch (ch) {
    case 0x9A:
        return 0x8A;
    case 0x9C:
        return 0x8C;
    case 0x9E:
        return 0x8E;
    case 0xFF:
        return 0x9F;
    default:
        return ch;
    }
}

std::string WordCodes(std::string_view word)
{
    std::string codes(word.size(), '\0');
    for (size_t i = 0; i < word.size(); ++i)
        codes[i] = static_cast<char>(LetterCode(SpellUpper(static_cast<uint8_t>(word[i]))));
    return codes;
}

} // namespace qn::spell
