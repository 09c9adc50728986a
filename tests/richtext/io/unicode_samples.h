#pragma once

// Text of ten scripts, emoji with modifiers and combining accents, for round
// trips through every reader and writer.

#include <string>

#include "io_test_util.h"

namespace qn::test {

// Ten scripts, an emoji with a skin tone, a joined emoji sequence and
// combining accents.
inline const std::u32string kSamples[] = {
    U"Zażółć gęślą jaźń w Łodzi",              // Polish
    U"Příliš žluťoučký kůň úpěl ďábelské ódy", // Czech
    U"Καλημέρα, Αθήνα",                        // Greek
    U"Съешь же ещё этих мягких булок",         // Russian
    U"שלום עולם",                              // Hebrew
    U"مرحبا بالعالم",                          // Arabic
    U"नमस्ते दुनिया",                             // Hindi
    U"สวัสดีชาวโลก",                             // Thai
    U"日本語のテキスト、カタカナ",             // Japanese
    U"你好，世界",                             // Chinese
    U"Thumbs \U0001F44D\U0001F3FD and family \U0001F468\u200D\U0001F469\u200D\U0001F467",
    U"Cafe\u0301 and n\u0303 with \u20AC and \u201Cquotes\u201D",
};

// Every sample as a paragraph of its own, in order.
inline void setSampleParagraphs(TQnRTFText &doc)
{
    const TCharAttr a = makeAttr();
    int index = 0;
    for (const std::u32string &sample : kSamples) {
        if (index == 0)
            doc.SetParagraphText(0, sample, &a);
        else
            doc.AddParagraphWithText(index, sample, &a);
        ++index;
    }
}

} // namespace qn::test
