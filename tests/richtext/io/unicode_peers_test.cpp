// Text of every script in our RTF as independent readers see it: pandoc and
// unrtf. Runs when both are installed (scripts/setup.sh installs them).

#include <gtest/gtest.h>

#include <algorithm>

#include "io_test_util.h"
#include "platform/html_charset.h"
#include "platform/unicode_text.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"
#include "unicode_samples.h"

namespace qn::test {
namespace {

// Our RTF of every sample, one paragraph each.
std::string samplesRtf()
{
    TQnRTFText doc;
    setSampleParagraphs(doc);
    return writeRtf(doc);
}

// The text of the body of unrtf's HTML, its references read.
std::u32string unrtfHtmlText(const std::string &html)
{
    const size_t open = html.find("<body>");
    const size_t close = html.find("</body>");
    if (open == std::string::npos || close == std::string::npos)
        return {};
    const std::string body = html.substr(open + 6, close - open - 6);
    std::u32string text;
    for (size_t i = 0; i < body.size();) {
        if (body[i] == '<') { // unrtf's own tags: a line break, fonts
            const size_t end = body.find('>', i);
            if (body.compare(i, 4, "<br>") == 0)
                text += U'\n';
            i = end == std::string::npos ? body.size() : end + 1;
            continue;
        }
        const size_t semicolon = body.find(';', i);
        if (body[i] == '&' && semicolon != std::string::npos) {
            const std::string name = body.substr(i + 1, semicolon - i - 1);
            if (!name.empty() && name[0] == '#')
                text += HtmlNumericReference(static_cast<uint32_t>(std::stoul(name.substr(1))));
            else
                text += HtmlNamedReference(name + ";").value_or(U"?");
            i = semicolon + 1;
            continue;
        }
        const size_t next = std::min(body.find_first_of("<&", i), body.size());
        text += unicode::FromUtf8(std::string_view(body).substr(i, next - i));
        i = next;
    }
    return text;
}

TEST(UnicodePeers, PandocAndUnrtfReadEveryCharacterOfOurRtf)
{
    if (!commandOutput("pandoc --version") || !commandOutput("unrtf --version"))
        GTEST_SKIP() << "pandoc or unrtf is not installed (scripts/setup.sh installs both)";
    TempDir dir;
    const std::string file = (dir / "samples.rtf").string();
    writeFile(file, samplesRtf());
    const auto pandoc = commandOutput("pandoc --wrap=none -f rtf -t plain " + shellQuote(file));
    // unrtf's text output has no characters beyond its code page (each is a
    // '?'); its HTML output has them all as references. Neither reader joins
    // the two \u halves of a character beyond the basic plane (pandoc gives
    // two U+FFFD, unrtf two references to lone halves): the emoji sample is
    // left out for both.
    const auto unrtf = commandOutput("unrtf --html " + shellQuote(file));
    ASSERT_TRUE(pandoc && unrtf);
    const std::u32string unrtfText = unrtfHtmlText(*unrtf);
    for (const std::u32string &sample : kSamples) {
        const std::string utf8 = unicode::ToUtf8(sample);
        if (std::any_of(sample.begin(), sample.end(), [](char32_t c) { return c >= 0x10000; }))
            continue;
        EXPECT_NE(pandoc->find(utf8), std::string::npos) << utf8 << "\npandoc gave:\n" << *pandoc;
        EXPECT_NE(unrtfText.find(sample), std::u32string::npos) << utf8 << "\nunrtf gave:\n"
                                                                << *unrtf;
    }
}

} // namespace
} // namespace qn::test
