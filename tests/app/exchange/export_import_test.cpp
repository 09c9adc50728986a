// Export and import through the diary table, read back by this program and
// by independent readers (a browser, pandoc, unrtf).
#include "exchange_test_util.h"

#include "app/exchange/command_line.h"
#include "app/exchange/diary_export.h"
#include "app/exchange/diary_import.h"
#include "app/exchange/entry_document.h"
#include "platform/ansi.h"
#include "platform/unicode_text.h"
#include "platform/version.h"
#include "tests/richtext/io/unicode_samples.h"
#include "tests/support/command.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sstream>

namespace qn::test {
namespace {

using namespace qn::exchange;
namespace fs = std::filesystem;

std::map<std::string, std::string> formattedEntries(int count, int step = 1)
{
    std::map<std::string, std::string> entries;
    for (int n = 1; n <= count; ++n)
        entries[dayKey(n * step)] = formattedEntryRtf(n * step);
    return entries;
}

ExportResult exportTo(const fs::path &diary, ExportFormat format, const fs::path &target,
                      const std::string &from = {}, const std::string &to = {})
{
    DiaryFolder folder(diary, "", DiaryFolder::ReadOnly);
    ExportRequest request;
    request.Format = format;
    request.Target = target;
    request.FromKey = from;
    request.ToKey = to;
    return ExportDiary(folder.Records(), request);
}

ImportResult importFrom(const fs::path &diary, const fs::path &source, bool dryRun = false)
{
    DiaryFolder folder(diary, "", DiaryFolder::CreateWhenMissing);
    return ImportIntoDiary(&folder.Records(), source, dryRun);
}

// The date heading and every paragraph of every entry (UTF-8), with blanks
// made one, in diary order.
std::vector<std::string> expectedPieces(const std::map<std::string, std::string> &entries)
{
    std::vector<std::string> pieces;
    for (const auto &[key, rtf] : entries) {
        TDateTime date = EncodeDate(std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2)),
                                    std::stoi(key.substr(6, 2)));
        pieces.push_back(FormatDateTime("dddd, mmmm d, yyyy", date));
        for (const std::string &p : paragraphsOf(rtf))
            if (!p.empty())
                pieces.push_back(normalizedBlanks(p));
    }
    return pieces;
}

// Every piece is found in `shown`, each after the one before.
void expectInOrder(const std::string &shown, const std::vector<std::string> &pieces,
                   const std::string &reader)
{
    size_t at = 0;
    int missing = 0;
    for (const std::string &piece : pieces) {
        const size_t found = shown.find(piece, at);
        if (found == std::string::npos) {
            if (++missing <= 5)
                ADD_FAILURE() << reader << " does not show \"" << piece << "\" where expected";
            continue;
        }
        at = found + piece.size();
    }
    EXPECT_EQ(missing, 0) << reader;
}

std::string decodeEntities(const std::string &text)
{
    std::string out;
    static const std::pair<std::string, std::string> names[] = {
        {"&lt;", "<"},          {"&gt;", ">"},
        {"&amp;", "&"},         {"&quot;", "\""},
        {"&nbsp;", " "},        {"&eacute;", "\xc3\xa9"},
        {"&iuml;", "\xc3\xaf"}, {"&euro;", "\xe2\x82\xac"}};
    for (size_t i = 0; i < text.size(); ++i) {
        bool done = false;
        if (text[i] == '&')
            for (const auto &[name, c] : names)
                if (text.compare(i, name.size(), name) == 0) {
                    out += c;
                    i += name.size() - 1;
                    done = true;
                    break;
                }
        if (!done)
            out.push_back(text[i]);
    }
    return out;
}

// The text of markup: tags dropped (a tag counts as a blank), entities read.
std::string markupText(const std::string &markup)
{
    std::string text;
    bool inTag = false;
    for (char c : markup) {
        if (c == '<') {
            inTag = true;
            text.push_back(' ');
        } else if (c == '>' && inTag) {
            inTag = false;
        } else if (!inTag) {
            text.push_back(c);
        }
    }
    return normalizedBlanks(decodeEntities(text));
}

TEST(DiaryExchange, JsonLinesCarryEveryEntryIntoAnEmptyDiary)
{
    TempDir dir;
    const std::map<std::string, std::string> entries = formattedEntries(300);
    makeDiary(dir / "diary", entries);
    EXPECT_EQ(exportTo(dir / "diary", ExportFormat::JsonLines, dir / "all.jsonl").Entries, 300);

    ImportResult imported = importFrom(dir / "copy", dir / "all.jsonl");
    EXPECT_EQ(imported.Count(ImportItem::Added), 300) << imported.Report();
    const std::map<std::string, std::string> copy = diaryEntries(dir / "copy");
    ASSERT_EQ(copy.size(), entries.size());
    for (const auto &[key, rtf] : entries) {
        ASSERT_TRUE(copy.count(key)) << key;
        EXPECT_EQ(paragraphsOf(copy.at(key)), paragraphsOf(rtf)) << key;
    }
    // The formatting travels too: the page breaks and the bold run of day 10.
    std::string error;
    auto doc = ReadDocument(copy.at(dayKey(10)), SourceFormat::Rtf, error);
    ASSERT_TRUE(doc);
    EXPECT_TRUE(doc->ParagraphAt(2)->ParFlags & kParPageBreak);
    const std::string first = ParagraphTexts(*doc)[0];
    const TLine *line = doc->FirstParagraph->Lines;
    EXPECT_TRUE(line->Attrs[first.find("bold")].Style & kStyleBold);
    EXPECT_EQ(doc->Header->FontNames[line->Attrs[first.find("bold")].FontIndex], "Times New Roman");

    // The plain text member is there for other programs: UTF-8, one line per paragraph.
    const std::string lines = readFile(dir / "all.jsonl");
    EXPECT_NE(
        lines.find("{\"date\":\"2023-03-01\",\"text\":\"Day 1 began early. A bold part and "
                   "a red italic one.\\nCaf\xc3\xa9, na\xc3\xafve \xe2\x82\xac 5 {braces} "
                   "back\\\\slash \\\"quoted\\\" <tag> & more, number 7\",\"rtf\":\"{\\\\rtf1"),
        std::string::npos)
        << lines.substr(0, 400);

    // A range takes only its dates, and the diary is read, never written.
    const std::string before = readFile(dir / "diary/QUILLNK.DBF") +
                               readFile(dir / "diary/QUILLNK.FPT") +
                               readFile(dir / "diary/QUILLNK.CDX");
    EXPECT_EQ(exportTo(dir / "diary", ExportFormat::JsonLines, dir / "march.jsonl", "20230310",
                       "20230331")
                  .Entries,
              22);
    EXPECT_EQ(readFile(dir / "diary/QUILLNK.DBF") + readFile(dir / "diary/QUILLNK.FPT") +
                  readFile(dir / "diary/QUILLNK.CDX"),
              before);
}

TEST(DiaryExchange, ExportedHtmlShowsEveryEntryAndDateInABrowser)
{
    const char *chromium = "/usr/bin/chromium";
    if (!fs::exists(chromium))
        GTEST_SKIP() << "Chromium is not installed; scripts/setup.sh installs it";
    TempDir dir;
    const std::map<std::string, std::string> entries = formattedEntries(40, 9);
    makeDiary(dir / "diary", entries);
    exportTo(dir / "diary", ExportFormat::Html, dir / "diary.html");
    const std::optional<std::string> dom =
        commandOutput(std::string(chromium) + " --headless --no-sandbox --disable-gpu --dump-dom " +
                      shellQuote("file://" + (dir / "diary.html").string()) + " 2>/dev/null");
    ASSERT_TRUE(dom);
    const size_t body = dom->find("<body");
    ASSERT_NE(body, std::string::npos) << *dom;
    expectInOrder(markupText(dom->substr(body)), expectedPieces(entries), "Chromium");
}

TEST(DiaryExchange, ExportedRtfReadsInPandocAndUnrtf)
{
    TempDir dir;
    const std::map<std::string, std::string> entries = formattedEntries(40, 9);
    makeDiary(dir / "diary", entries);
    exportTo(dir / "diary", ExportFormat::Rtf, dir / "diary.rtf");
    const std::vector<std::string> pieces = expectedPieces(entries);

    std::optional<std::string> pandoc = commandOutput("pandoc --wrap=none -f rtf -t plain " +
                                                      shellQuote((dir / "diary.rtf").string()));
    if (!pandoc)
        ADD_FAILURE() << "pandoc did not read the file (is it installed?)";
    else
        expectInOrder(normalizedBlanks(*pandoc), pieces, "pandoc");

    // unrtf's plain text output has its own character table; its HTML names
    // every character.
    std::optional<std::string> unrtf =
        commandOutput("unrtf --html " + shellQuote((dir / "diary.rtf").string()));
    if (!unrtf) {
        ADD_FAILURE() << "unrtf did not read the file (is it installed?)";
    } else {
        const size_t body = unrtf->find("<body");
        expectInOrder(markupText(body == std::string::npos ? *unrtf : unrtf->substr(body)), pieces,
                      "unrtf");
    }
}

TEST(DiaryExchange, TextAndFolderExportsHoldEachEntryUnderItsDate)
{
    TempDir dir;
    const std::map<std::string, std::string> entries = formattedEntries(12, 30);
    makeDiary(dir / "diary", entries);
    exportTo(dir / "diary", ExportFormat::Text, dir / "diary.txt");
    expectInOrder(normalizedBlanks(readFile(dir / "diary.txt")), expectedPieces(entries), "text");

    ExportResult folder = exportTo(dir / "diary", ExportFormat::RtfFolder, dir / "out");
    EXPECT_EQ(folder.Files.size(), 12u);
    for (const auto &[key, rtf] : entries)
        EXPECT_EQ(paragraphsOf(readFile(dir / "out" / (KeyAsIsoDate(key) + ".rtf"))),
                  paragraphsOf(rtf));
    // The folder comes back as it went out, with nothing added twice.
    ImportResult again = importFrom(dir / "diary", dir / "out");
    EXPECT_EQ(again.Count(ImportItem::Unchanged), 12) << again.Report();
    ImportResult fresh = importFrom(dir / "fresh", dir / "out");
    EXPECT_EQ(fresh.Count(ImportItem::Added), 12) << fresh.Report();
}

TEST(DiaryExchange, EveryScriptTravelsThroughEveryExportAndBack)
{
    TempDir dir;
    std::map<std::string, std::string> entries;
    int day = 1;
    for (const std::u32string &sample : test::kSamples) {
        TQnRTFText doc;
        TCharAttr attr;
        attr.Size = 10;
        doc.SetParagraphText(0, sample, &attr);
        entries[dayKey(day++)] = DocumentRtf(doc);
    }
    makeDiary(dir / "diary", entries);
    auto expectSamplesIn = [](const std::string &bytes, const char *format) {
        for (const std::u32string &sample : test::kSamples)
            EXPECT_NE(bytes.find(unicode::ToUtf8(sample)), std::string::npos)
                << format << ": " << unicode::ToUtf8(sample);
    };
    exportTo(dir / "diary", ExportFormat::Text, dir / "diary.txt");
    expectSamplesIn(readFile(dir / "diary.txt"), "text");
    exportTo(dir / "diary", ExportFormat::Html, dir / "diary.html");
    expectSamplesIn(readFile(dir / "diary.html"), "html");

    // JSON lines, a folder of RTF, and the text file come back whole.
    exportTo(dir / "diary", ExportFormat::JsonLines, dir / "all.jsonl");
    expectSamplesIn(readFile(dir / "all.jsonl"), "json lines");
    exportTo(dir / "diary", ExportFormat::RtfFolder, dir / "out");
    for (const char *source : {"all.jsonl", "out"}) {
        const fs::path copy = dir / (std::string("copy-") + source);
        ImportResult imported = importFrom(copy, dir / source);
        EXPECT_EQ(imported.Count(ImportItem::Added), static_cast<int>(entries.size()))
            << imported.Report();
        const std::map<std::string, std::string> back = diaryEntries(copy);
        for (const auto &[key, rtf] : entries) {
            ASSERT_TRUE(back.count(key)) << source << " " << key;
            EXPECT_EQ(paragraphsOf(back.at(key)), paragraphsOf(rtf)) << source << " " << key;
        }
    }
    fs::create_directories(dir / "texts");
    writeFile(dir / "texts/2024-01-01.txt", unicode::ToUtf8(test::kSamples[8]));
    importFrom(dir / "fromtext", dir / "texts");
    EXPECT_EQ(paragraphsOf(diaryEntries(dir / "fromtext").at("20240101"))[0],
              unicode::ToUtf8(test::kSamples[8]));
}

TEST(DiaryExchange, ImportKeepsTheEntryADateHasAndReportsWhatItCannotRead)
{
    TempDir dir;
    makeDiary(dir / "diary", {{"20240102", formattedEntryRtf(3)}});
    fs::create_directories(dir / "in");
    writeFile(dir / "in/2024-01-02.txt", "Written elsewhere\nsecond line caf\xc3\xa9\n");
    writeFile(dir / "in/20240103.html", "<p>From a <b>web</b> page</p>");
    writeFile(dir / "in/2024-01-04.rtf", "{\\rtf1 cut sho");
    writeFile(dir / "in/2024-01-05.rtf", "this is no RTF at all");
    writeFile(dir / "in/2024-01-06.txt", std::string("binary\0data", 11));
    writeFile(dir / "in/2024-01-07.txt", "\xe4\xbd\xa0\xe5\xa5\xbd"); // Chinese: kept whole
    writeFile(dir / "in/2024-02-30.txt", "no such day");
    writeFile(dir / "in/2024-01-08.txt", "  \n\n");
    writeFile(dir / "in/readme.md", "not dated");

    // A dry run says everything and writes nothing.
    const std::string before = readFile(dir / "diary/QUILLNK.FPT");
    ImportResult dry = importFrom(dir / "diary", dir / "in", true);
    EXPECT_EQ(readFile(dir / "diary/QUILLNK.FPT"), before);
    EXPECT_EQ(dry.Count(ImportItem::Appended), 1);
    EXPECT_EQ(dry.Count(ImportItem::Added), 2);
    EXPECT_NE(dry.Report().find("Dry run"), std::string::npos);

    ImportResult result = importFrom(dir / "diary", dir / "in");
    const std::string report = result.Report();
    EXPECT_EQ(result.Count(ImportItem::Appended), 1) << report;
    EXPECT_EQ(result.Count(ImportItem::Added), 2) << report;
    EXPECT_EQ(result.Count(ImportItem::Failed), 3) << report;
    for (const char *name : {"2024-01-04.rtf: not imported", "2024-01-05.rtf: not imported",
                             "2024-01-06.txt: not imported", "2024-01-07.txt: became the entry",
                             "2024-02-30.txt: skipped", "2024-01-08.txt: skipped: it holds no text",
                             "readme.md: skipped"})
        EXPECT_NE(report.find(name), std::string::npos) << name << "\n" << report;

    const std::map<std::string, std::string> diary = diaryEntries(dir / "diary");
    EXPECT_EQ(diary.size(), 3u) << "nothing is written for what cannot be read";
    // Both texts, the old one first, the imported one from a new page on.
    std::string error;
    auto doc = ReadDocument(diary.at("20240102"), SourceFormat::Rtf, error);
    ASSERT_TRUE(doc);
    std::vector<std::string> expected = paragraphsOf(formattedEntryRtf(3));
    const size_t old = expected.size();
    expected.push_back("Written elsewhere");
    expected.push_back("second line caf\xc3\xa9");
    std::vector<std::string> texts = ParagraphTexts(*doc);
    while (texts.size() > expected.size() && texts.back().empty())
        texts.pop_back();
    EXPECT_EQ(texts, expected);
    EXPECT_TRUE(doc->ParagraphAt(static_cast<int>(old))->ParFlags & kParPageBreak);
    EXPECT_EQ(paragraphsOf(diary.at("20240103"))[0], "From a web page");
    EXPECT_EQ(paragraphsOf(diary.at("20240107"))[0], "\xe4\xbd\xa0\xe5\xa5\xbd");
}

TEST(DiaryExchange, BadLinesOfALineFileAreReportedByLine)
{
    TempDir dir;
    writeFile(dir / "in.jsonl",
              "{\"date\":\"2024-05-01\",\"text\":\"first\\nsecond \\u00e9\\ud83d\\ude00\"}\n"
              "\n"
              "{\"date\":\"2024-05-02\",\"text\":\"fine\"}\n"
              "{\"date\":\"2024-05-03\",\"text\":\"unclosed}\n"
              "{\"date\":\"2024-13-01\",\"text\":\"bad month\"}\n"
              "{\"text\":\"no date\"}\n"
              "{\"date\":\"2024-05-04\",\"rtf\":\"{\\\\rtf1 x\",\"text\":\"x\"}\n"
              "[1,2]\n");
    ImportResult result = importFrom(dir / "diary", dir / "in.jsonl");
    const std::string report = result.Report();
    // The first line's emoji is kept like any character.
    EXPECT_EQ(result.Count(ImportItem::Added), 2) << report;
    EXPECT_EQ(result.Count(ImportItem::Failed), 5) << report;
    for (int line : {4, 5, 6, 7, 8})
        EXPECT_NE(report.find("in.jsonl line " + std::to_string(line) + ": not imported"),
                  std::string::npos)
            << line << "\n"
            << report;
    const std::map<std::string, std::string> diary = diaryEntries(dir / "diary");
    ASSERT_EQ(diary.size(), 2u);
    EXPECT_EQ(paragraphsOf(diary.at("20240501")),
              (std::vector<std::string>{"first", "second \xc3\xa9\xf0\x9f\x98\x80"}));
}

int run(std::vector<std::string> args, const std::string &input, std::string &out, std::string &err,
        const fs::path &diary)
{
    std::istringstream in(input);
    std::ostringstream o, e;
    const int status = RunDiaryCommand(args, in, o, e, diary, false);
    out = o.str();
    err = e.str();
    return status;
}

TEST(DiaryExchange, TheCommandLineAsksAnEncryptedDiaryForItsPasswordOnStandardInput)
{
    TempDir dir;
    makeDiary(dir / "diary", formattedEntries(5));
    encryptDiary(dir / "diary", "secret 1");
    std::string out, err;
    const std::string target = (dir / "out.jsonl").string();

    EXPECT_EQ(run({"export", target}, "wrong\n", out, err, dir / "diary"), 2);
    EXPECT_NE(err.find("Sorry, that is the wrong password"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(target));
    EXPECT_EQ(run({"export", "--password", "secret 1", target}, "", out, err, dir / "diary"), 2);
    EXPECT_NE(err.find("never given as an argument"), std::string::npos) << err;

    ASSERT_EQ(run({"export", target}, "secret 1\n", out, err, dir / "diary"), 0) << err;
    EXPECT_NE(out.find("Exported 5 entries as jsonl"), std::string::npos) << out;
    EXPECT_NE(readFile(target).find("Day 3 began early."), std::string::npos);

    // Imported entries are written under the diary's key.
    ASSERT_EQ(run({"import", target}, "secret 1\n", out, err, dir / "diary"), 0) << err;
    EXPECT_NE(out.find("5 already there"), std::string::npos) << out;
    EXPECT_THROW(DiaryFolder(dir / "diary", "", DiaryFolder::ReadOnly), DiaryOpenError);
    EXPECT_EQ(diaryEntries(dir / "diary", "secret 1").size(), 5u);

    EXPECT_EQ(run({"export", "--from", "2023-02-30", target}, "", out, err, dir / "diary"), 2);
    EXPECT_NE(err.find("not a date"), std::string::npos) << err;
    EXPECT_EQ(run({"export", (dir / "x.pdf").string()}, "", out, err, dir / "diary"), 2);
    EXPECT_NE(err.find("--format"), std::string::npos) << err;
}

TEST(DiaryExchange, HelpAndTheVersionNeedNoDiary)
{
    TempDir dir;
    const fs::path missing = dir / "no diary here";
    std::string out, err;
    EXPECT_EQ(run({"--version"}, "", out, err, missing), 0) << err;
    EXPECT_EQ(out, std::string("quillnook ") + Version() + "\n");
    for (std::vector<std::string> args : {std::vector<std::string>{"--help"},
                                          {"-h"},
                                          {"help"},
                                          {"export", "--help"},
                                          {"restore", "-h", "2024-01-01"}}) {
        EXPECT_EQ(run(args, "", out, err, missing), 0) << args[0] << err;
        EXPECT_NE(out.find("quillnook import [--dry-run]"), std::string::npos) << out;
    }
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_TRUE(AsksForInformation({"--version"}));
    // Only as the first word is "help" a request; later it names a file.
    EXPECT_FALSE(AsksForInformation({"export", "help"}));
    EXPECT_FALSE(AsksForInformation({"backups"}));
}

TEST(DiaryExchange, TheProgramRunsItsCommandsWithoutADisplay)
{
    TempDir dir;
    makeDiary(dir / "diary", formattedEntries(3));
    const std::string program = QN_QUILLNOOK;
    CommandResult result =
        runCommand("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb " + program +
                   " export --diary " + shellQuote((dir / "diary").string()) + " " +
                   shellQuote((dir / "d.html").string()) + " </dev/null");
    EXPECT_EQ(result.status, 0) << result.out;
    EXPECT_NE(readFile(dir / "d.html").find("Day 2 began early."), std::string::npos);
}

} // namespace
} // namespace qn::test
