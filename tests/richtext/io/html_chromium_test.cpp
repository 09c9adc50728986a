// A file the HTML writer makes opens in a real browser and shows the
// document's text. Runs when Chromium is installed (Debian's "chromium").

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "html_test_util.h"
#include "io_test_util.h"
#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "tests/support/temp_dir.h"
#include "unicode_samples.h"

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

// Windows-1252 characters 0x80..0x9F (0 where the code page has none).
constexpr unsigned kCp1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void appendUtf8(std::string &out, unsigned code)
{
    if (code == 0)
        return;
    if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    } else {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
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
                const unsigned char c = UnicodeToAnsi(l->Text[i]).value_or(0x3F);
                if (c == 10 || c == 9) {
                    out.push_back(' ');
                } else if (c >= 0x80) {
                    appendUtf8(out, c >= 0xA0 ? c : kCp1252[c - 0x80]);
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

// The text a browser shows for each page, as UTF-8. One browser run shows
// every page in a frame; a script copies the text each frame renders into
// the outer page, which the browser then prints.
std::vector<std::string> shownTexts(const std::vector<std::string> &pages)
{
    TempDir dir;
    std::string wrap = "<html><body>";
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string n = std::to_string(i);
        writeFile(dir / ("doc" + n + ".html"), pages[i]);
        wrap += "<iframe id=f" + n + " src=\"doc" + n + ".html\"></iframe><pre id=out" + n +
                ">none</pre><script>document.getElementById('f" + n +
                "').onload = function() { var d = this.contentDocument;"
                " document.getElementById('out" +
                n + "').textContent = d ? '[' + d.body.innerText + ']' : 'no access'; };</script>";
    }
    writeFile(dir / "wrap.html", wrap + "</body></html>");
    const std::string command =
        std::string(kChromium) +
        " --headless --no-sandbox --disable-gpu --allow-file-access-from-files"
        " --virtual-time-budget=10000 --dump-dom 'file://" +
        (dir / "wrap.html").string() + "' 2>/dev/null";
    std::vector<std::string> shown(pages.size());
    std::FILE *pipe = popen(command.c_str(), "r");
    EXPECT_NE(pipe, nullptr);
    if (!pipe)
        return shown;
    std::string dom;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe))
        dom.append(buffer, n);
    pclose(pipe);
    for (size_t i = 0; i < pages.size(); ++i) {
        const std::string open = "<pre id=\"out" + std::to_string(i) + "\">[";
        const size_t start = dom.find(open);
        const size_t end = dom.find("]</pre>", start);
        EXPECT_NE(start, std::string::npos) << dom;
        EXPECT_NE(end, std::string::npos) << dom;
        if (start != std::string::npos && end != std::string::npos)
            shown[i] = normalized(
                decodeBasicEntities(dom.substr(start + open.size(), end - start - open.size())));
    }
    return shown;
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

    // A page of the old kind too, with its comment kept as a comment.
    TQnRTFText page;
    readHtml(page, readFile(sourceDir() / "tests/richtext/io/html_fixtures/old_style_page.html"));
    const std::vector<std::string> shown =
        shownTexts({writeHtml(doc), writeHtml(page, shcHiddenFootnote)});
    EXPECT_EQ(shown[0], expected);
    EXPECT_EQ(shown[1], visibleText(page));
}

TEST(HtmlChromium, EveryScriptShowsInTheBrowser)
{
    if (!std::filesystem::exists(kChromium))
        GTEST_SKIP() << "Chromium is not installed (" << kChromium
                     << "); install the chromium package to run this test";
    TQnRTFText doc;
    setSampleParagraphs(doc);
    std::string expected;
    for (const std::u32string &sample : kSamples)
        expected += unicode::ToUtf8(sample) + " ";
    // The clipboard's seven-bit form and the export's UTF-8 page.
    TQnMemoryStream out;
    TQnHTMLWriter writer(doc);
    writer.CompletePage = true;
    writer.Utf8Text = true;
    writer.Write(out);
    const std::vector<std::string> shown = shownTexts({writeHtml(doc), out.Bytes()});
    EXPECT_EQ(shown[0], normalized(expected));
    EXPECT_EQ(shown[1], normalized(expected));
}

} // namespace
} // namespace qn::test
