#include "spell/first_letters.h"

namespace qn::spell {

namespace {

// Windows-1252 spelled out, so the tables stay readable as bytes.
const char *plainAlternatives(uint8_t letter)
{
    switch (letter) {
    case 'A':
        return "EDA\xC0\xC1\xC2\xC3\xC4\xC5\xC6";
    case 'B':
        return "PVNB\xDF";
    case 'C':
        return "SXVC\xC7\x8C";
    case 'D':
        return "FD\xD0";
    case 'E':
        return "IWRE\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF";
    case 'F':
        return "DGF";
    case 'G':
        return "JG";
    case 'H':
        return "JGH";
    case 'I':
        return "EOUI\xC8\xC9\xCA\xCB\xCC\xCD\xCE\xCF";
    case 'J':
        return "GJ";
    case 'K':
        return "CLJK";
    case 'L':
        return "KL";
    case 'M':
        return "NM\xD1";
    case 'N':
        return "MBN\xD1";
    case 'O':
        return "PIO\xD2\xD3\xD4\xD5\xD6\xCC\xCD\xCE\xCF";
    case 'P':
        return "BOP\xDE";
    case 'Q':
        return "WQ";
    case 'R':
        return "ETR";
    case 'S':
        return "ACDS\x8A\x8C";
    case 'T':
        return "YRT";
    case 'U':
        return "YIU\xD9\xDA\xDB\xDC";
    case 'V':
        return "BCV\xC7\x8C";
    case 'W':
        return "QEW";
    case 'X':
        return "CZX";
    case 'Y':
        return "TUY\x9F\xDD";
    case 'Z':
        return "XZ";
    default:
        return nullptr;
    }
}

// Accented and special letters borrow the list of their plain letter.
uint8_t plainLetter(uint8_t letter)
{
    if (letter >= 0xC0 && letter <= 0xC6)
        return 'A';
    if (letter >= 0xC8 && letter <= 0xCB)
        return 'E';
    if (letter >= 0xCC && letter <= 0xCF)
        return 'I';
    if (letter >= 0xD2 && letter <= 0xD6)
        return 'O';
    if (letter >= 0xD9 && letter <= 0xDC)
        return 'U';
    switch (letter) {
    case 0xC7:
    case 0x8C:
        return 'C';
    case 0xD0:
        return 'D';
    case 0xD1:
        return 'N';
    case 0xDE:
        return 'P';
    case 0xDF:
        return 'B';
    case 0x9F:
    case 0xDD:
        return 'Y';
    default:
        return letter;
    }
}

} // namespace

std::string FirstLetterAlternatives(uint8_t upperLetter)
{
    if (const char *list = plainAlternatives(plainLetter(upperLetter)))
        return list;
    return std::string(1, static_cast<char>(upperLetter));
}

} // namespace qn::spell
