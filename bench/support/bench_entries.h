#pragma once

// The entries the benches store: about 2 KB of RTF each, a font and colour
// table and a few paragraphs with some bold words, the same for the same n.

#include <string>

namespace qn::bench {

// Entry n; `first` (a word and a blank) begins its text when given.
inline std::string EntryRtf(int n, const std::string &first = std::string())
{
    static const char *words[] = {"morning", "walked", "harbour", "letters", "friends", "rain",
                                  "evening", "garden", "quiet",   "reading", "the",     "and"};
    std::string rtf = "{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0\\fswiss Arial;}{\\f1\\froman Times New "
                      "Roman;}}{\\colortbl;\\red0\\green0\\blue0;\\red255\\green0\\blue0;}\r\n"
                      "\\pard\\plain\\f0\\fs20 " +
                      first;
    unsigned seed = static_cast<unsigned>(n) * 2654435761u;
    int paragraph = 0;
    while (rtf.size() < 1950) {
        seed = seed * 1103515245u + 12345u;
        if ((seed >> 16) % 7 == 0)
            rtf += "{\\b ";
        rtf += words[(seed >> 20) % 12];
        if ((seed >> 16) % 7 == 0)
            rtf += "}";
        rtf += ' ';
        if ((seed >> 8) % 40 == 0 && paragraph < 6) {
            rtf += "\\par\r\n";
            ++paragraph;
        }
    }
    return rtf + "\\par\r\n}\r\n";
}

} // namespace qn::bench
