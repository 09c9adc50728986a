// The editor through a real X server: the clipboard as other programs fill
// and read it (xclip), the primary selection and the middle button, and a
// German keyboard layout's AltGr (setxkbmap, xdotool). Each case runs a
// script under a private X server; without one the cases are skipped.
#include <QImage>
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

using namespace qn::test;

namespace {

std::filesystem::path probe()
{
    return binaryDir() / "tests" / "editor_x11_probe";
}

// The report of the probe as keyword -> rest of the line.
std::map<std::string, std::string> parseReport(const std::string &out)
{
    std::map<std::string, std::string> lines;
    std::istringstream in(out);
    std::string line;
    while (std::getline(in, line)) {
        const size_t space = line.find(' ');
        if (space != std::string::npos)
            lines[line.substr(0, space)] = line.substr(space + 1);
    }
    return lines;
}

class EditorX11 : public testing::Test {
protected:
    void SetUp() override
    {
        if (!commandOutput("command -v xvfb-run"))
            GTEST_SKIP() << "no xvfb-run: no X server can be started";
        const CommandResult probeX = runCommand(
            "xvfb-run -a -s '-screen 0 1024x768x24 -noreset' sh -c 'echo x' 2>/dev/null");
        if (probeX.status != 0 || probeX.out.find('x') == std::string::npos)
            GTEST_SKIP() << "no X server could be started";
    }

    // Runs a shell script under a fresh X server, with PROBE and DIR set;
    // answers its standard output.
    std::string runX(const std::string &script)
    {
        const std::filesystem::path file = dir.path() / "script.sh";
        writeFile(file,
                  "set -e\nexport QT_QPA_PLATFORM=xcb\nPROBE=" + shellQuote(probe().string()) +
                      "\nDIR=" + shellQuote(dir.path().string()) + "\n" + script);
        const CommandResult r = runCommand("xvfb-run -a -s '-screen 0 1024x768x24 -noreset' sh " +
                                           shellQuote(file.string()) + " 2>" +
                                           shellQuote((dir.path() / "stderr.txt").string()));
        EXPECT_EQ(r.status, 0) << readFile(dir.path() / "stderr.txt");
        return r.out;
    }

    TempDir dir;
};

TEST_F(EditorX11, HtmlFromAnotherProgramPastesWithItsBoldAndColour)
{
    writeFile(dir.path() / "in.html",
              "<html><body><b>Bold</b> <span style=\"color:#c80000\">red</span> "
              "\xe2\x82\xac</body></html>");
    const auto report = parseReport(
        runX("xclip -selection clipboard -t text/html -i \"$DIR/in.html\"\n\"$PROBE\" paste\n"));
    EXPECT_EQ(report.at("TEXT").substr(0, 12), "Bold red \xe2\x82\xac");
    EXPECT_EQ(report.at("LOOK").substr(0, 5), "BBBB.");
    EXPECT_NE(report.at("COLOR").find("0000C8"), std::string::npos) << report.at("COLOR");
    EXPECT_EQ(report.at("MODIFIED"), "1");
}

TEST_F(EditorX11, APngPastesAsAPictureAndABrokenClipboardChangesNothing)
{
    QImage image(6, 4, QImage::Format_RGB32);
    image.fill(Qt::blue);
    ASSERT_TRUE(image.save(QString::fromStdString((dir.path() / "pic.png").string())));
    writeFile(dir.path() / "keep.rtf", "{\\rtf1\\ansi keep}");
    writeFile(dir.path() / "broken.png", "\x89PNG\r\n\x1a\nnot a picture");
    const std::string out = runX("xclip -selection clipboard -t image/png -i \"$DIR/pic.png\"\n"
                                 "\"$PROBE\" paste > \"$DIR/picture.txt\"\n"
                                 "xclip -selection clipboard -t image/png -i \"$DIR/broken.png\"\n"
                                 "\"$PROBE\" paste \"$DIR/keep.rtf\"\n");
    const auto picture = parseReport(readFile(dir.path() / "picture.txt"));
    EXPECT_EQ(picture.at("LOOK"), "O");
    const auto broken = parseReport(out);
    EXPECT_EQ(broken.at("TEXT"), "keep");
    EXPECT_EQ(broken.at("MODIFIED"), "0");
    EXPECT_NE(readFile(dir.path() / "stderr.txt").find("picture"), std::string::npos);
}

TEST_F(EditorX11, OurCopyIsReadByOtherProgramsAsHtmlRtfAndText)
{
    writeFile(dir.path() / "doc.rtf",
              "{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red200\\green0\\blue0;}"
              "\\f0 plain {\\b bold} {\\cf1 red} \\'80}");
    runX("\"$PROBE\" serve \"$DIR/doc.rtf\" \"$DIR/ready\" \"$DIR/stop\" > /dev/null &\n"
         "i=0; while [ ! -e \"$DIR/ready\" ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
         "xclip -o -selection clipboard -t text/html > \"$DIR/out.html\"\n"
         "xclip -o -selection clipboard -t text/rtf > \"$DIR/out.rtf\"\n"
         "xclip -o -selection clipboard -t UTF8_STRING > \"$DIR/out.txt\"\n"
         "xclip -o -selection primary -t UTF8_STRING > \"$DIR/primary.txt\"\n"
         "touch \"$DIR/stop\"; wait\n");
    const std::string html = readFile(dir.path() / "out.html");
    EXPECT_NE(html.find("bold"), std::string::npos) << html;
    EXPECT_NE(html.find("<b>"), std::string::npos) << html;
    EXPECT_NE(html.find("\xe2\x82\xac"), std::string::npos) << html;
    const std::string rtf = readFile(dir.path() / "out.rtf");
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u) << rtf;
    EXPECT_NE(rtf.find("\\b"), std::string::npos);
    EXPECT_EQ(readFile(dir.path() / "out.txt"), "plain bold red \xe2\x82\xac");
    EXPECT_EQ(readFile(dir.path() / "primary.txt"), "plain bold red \xe2\x82\xac");
}

TEST_F(EditorX11, AltGrTypesOnAGermanLayoutAltDoesNotAndTheMiddleButtonPastes)
{
    ASSERT_TRUE(commandOutput("command -v xdotool && command -v setxkbmap"))
        << "xdotool and setxkbmap are needed (scripts/setup.sh)";
    const std::string out = runX(
        "setxkbmap de\n"
        "if command -v openbox >/dev/null; then openbox & sleep 0.5; fi\n"
        "\"$PROBE\" serve - \"$DIR/ready\" \"$DIR/stop\" & P=$!\n"
        "i=0; while [ ! -e \"$DIR/ready\" ] && [ $i -lt 200 ]; do sleep 0.1; i=$((i+1)); done\n"
        "W=$(xdotool search --name 'editor probe' | head -1)\n"
        "xdotool windowactivate --sync $W 2>/dev/null || xdotool windowfocus --sync $W\n"
        "xdotool mousemove --window $W 300 150\n"
        "xdotool key --delay 50 a ISO_Level3_Shift+q ISO_Level3_Shift+e alt+s b\n"
        "printf 'mid' | xclip -selection primary -i\n"
        "sleep 0.3; xdotool click 2\n"
        "sleep 0.5; touch \"$DIR/stop\"; wait $P\n");
    const auto report = parseReport(out);
    EXPECT_EQ(report.at("TEXT"), "a@\xe2\x82\xac"
                                 "bmid");
}

} // namespace
