// A file the HTML writer makes opens in a real browser and shows the
// document's text. Runs when Chromium is installed (Debian's "chromium").

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "html_test_util.h"
#include "io_test_util.h"
#include "tests/support/temp_dir.h"

namespace qn::test {
namespace {

constexpr const char *kChromium = "/usr/bin/chromium";

// Blanks of any kind (and non-breaking spaces) as one blank, none at the ends.
std::string normalized(const std::string &utf8)
{
    std::string out;
    bool blank = false;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = utf8[i];
        bool isBlank = c == ' ' || c == '\t' || c == '\n' || c == '\r';
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0xA0) {
            isBlank = true;
            ++i;
        }
        if (isBlank) {
            blank = !out.empty();
            continue;
        }
        if (blank)
            out.push_back(' ');
        blank = false;
        out.push_back(static_cast<char>(c));
    }
    return out;
}

// What the document shows: every character but hidden text (link
// addresses), generated list numbers, objects and footnote marks, as UTF-8.
std::string visibleText(const TQnRTFText &doc)
{
    std::string out;
    for (const TParagraph *p = doc.FirstParagraph; p; p = p->Next) {
        for (const TLine *l = p->Lines; l; l = l->Next)
            for (int i = 0; i < l->Length; ++i) {
                if (l->Attrs[i].Style &
                    (kStyleHidden | kStyleListNumber | kStyleObject | kStyleRaised))
                    continue;
                const unsigned char c = l->Text[i];
                if (c == 10 || c == 9) {
                    out.push_back(' ');
                } else if (c >= 0xA0) { // Latin-1 range of the code page
                    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
                    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
                } else {
                    out.push_back(static_cast<char>(c));
                }
            }
        out.push_back(' ');
    }
    return normalized(out);
}

std::string decodeBasicEntities(const std::string &text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            static const std::pair<const char *, char> names[] = {
                {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&nbsp;", ' '}};
            bool done = false;
            for (const auto &[name, c] : names)
                if (text.compare(i, std::strlen(name), name) == 0) {
                    out.push_back(c);
                    i += std::strlen(name) - 1;
                    done = true;
                    break;
                }
            if (done)
                continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

TEST(HtmlChromium, WrittenFileShowsTheDocumentText)
{
    if (!std::filesystem::exists(kChromium))
        GTEST_SKIP() << "Chromium is not installed (" << kChromium
                     << "); install the chromium package to run this test";
    TQnRTFText doc;
    readHtml(doc, "<title>Browser check</title><h1>A day &amp; a night</h1>"
                  "<p>Prices: 5 &lt; 6 &gt; 4, paths C:\\temp\\{x}, caf&#233; na&#239;ve.</p>"
                  "<p>Go to <a href=\"http://example.org/?a=1&amp;b=2\">the <b>site</b></a> "
                  "now<br>second line</p>"
                  "<ol><li>first<ol type=a><li>inner</ol><li>second</ol><ul><li>bullet</ul>"
                  "<table border><tr><th>Day<th>Place<tr><td colspan=2>Both</table>"
                  "<hr><pre>  fixed   width</pre><p><font color=red size=5>big red</font> "
                  "<i>it</i><sup>2</sup> end</p>");
    const std::string expected = visibleText(doc);
    ASSERT_NE(expected.find("C:\\temp\\{x}"), std::string::npos);

    TempDir dir;
    writeFile(dir / "doc.html", writeHtml(doc));
    // The page under test is shown in a frame; a script puts the text the
    // browser renders into the outer page, which the browser then prints.
    writeFile(dir / "wrap.html",
              "<html><body><iframe id=f src=\"doc.html\"></iframe><pre id=out>none</pre><script>"
              "document.getElementById('f').onload = function() {"
              "  var d = this.contentDocument;"
              "  document.getElementById('out').textContent = d ? '[' + d.body.innerText + ']' : "
              "'no access';"
              "};</script></body></html>");
    const std::string command =
        std::string(kChromium) +
        " --headless --no-sandbox --disable-gpu --allow-file-access-from-files"
        " --virtual-time-budget=10000 --dump-dom 'file://" +
        (dir / "wrap.html").string() + "' 2>/dev/null";
    std::FILE *pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string dom;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        dom.append(buffer, n);
    pclose(pipe);
    const size_t start = dom.find("<pre id=\"out\">[");
    const size_t end = dom.find("]</pre>", start);
    ASSERT_NE(start, std::string::npos) << dom;
    ASSERT_NE(end, std::string::npos) << dom;
    const std::string shown = decodeBasicEntities(dom.substr(start + 15, end - start - 15));
    EXPECT_EQ(normalized(shown), expected);
}

} // namespace
} // namespace qn::test
