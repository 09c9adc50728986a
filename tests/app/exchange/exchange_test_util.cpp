#include "exchange_test_util.h"
#include "tests/support/text32.h"

#include "app/exchange/entry_document.h"
#include "engine/xt.h"
#include "engine/xtable.h"
#include "platform/password_scramble.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

namespace qn::test {

using namespace qn::exchange;

std::string dayKey(int n)
{
    const TDateTime date = EncodeDate(2023, 3, 1) + n - 1;
    return FormatDateTime("yyyymmdd", date);
}

std::string formattedEntryRtf(int n)
{
    TQnRTFText doc;
    const int times = doc.FindOrAddFont("Times New Roman");
    const int courier = doc.FindOrAddFont("Courier New");
    TCharAttr plain;
    plain.Size = static_cast<uint8_t>(9 + n % 8);
    TCharAttr bold = plain;
    bold.Style = kStyleBold;
    bold.FontIndex = static_cast<uint8_t>(times);
    TCharAttr italicRed = plain;
    italicRed.Style = kStyleItalic | kStyleUnderline;
    italicRed.Colors = static_cast<uint8_t>(1 + n % 14);
    TCharAttr mono = plain;
    mono.FontIndex = static_cast<uint8_t>(courier);

    doc.AddParagraphWithText(0, U32("Day " + std::to_string(n) + " began early."), &plain);
    TParagraph *first = doc.FirstParagraph;
    doc.AppendToLine(first->Lines, U32(" A bold part"), bold);
    doc.AppendToLine(first->Lines, U32(" and a red italic one."), italicRed);
    doc.AddParagraphWithText(1,
                             U32("Caf\xe9, na\xefve \x80 5 {braces} back\\slash \"quoted\" <tag> & "
                                 "more, number " +
                                 std::to_string(n * 7)),
                             &mono);
    TParagraph *second = doc.ParagraphAt(1);
    second->Alignment = static_cast<uint8_t>(n % 4);
    second->LeftIndent = 360 * (n % 3);
    if (n % 5 == 0) {
        doc.AddParagraphWithText(2, U32("After a page break on day " + std::to_string(n)), &plain);
        doc.ParagraphAt(2)->ParFlags |= kParPageBreak;
    }
    if (n % 7 == 0)
        doc.AddParagraphWithText(doc.ParagraphCount(), U32(""), &plain); // an empty last line
    return DocumentRtf(doc);
}

std::vector<std::string> paragraphsOf(const std::string &rtf)
{
    std::string error;
    auto doc = ReadDocument(rtf, SourceFormat::Rtf, error);
    EXPECT_TRUE(doc) << error;
    return doc ? ParagraphTexts(*doc) : std::vector<std::string>{};
}

void makeDiary(const std::filesystem::path &folder,
               const std::map<std::string, std::string> &entries, const std::string &password)
{
    std::filesystem::create_directories(folder);
    DiaryFolder diary(folder, password, DiaryFolder::CreateWhenMissing);
    for (const auto &[key, rtf] : entries)
        diary.Records().Store(key, rtf);
}

std::map<std::string, std::string> diaryEntries(const std::filesystem::path &folder,
                                                const std::string &password)
{
    DiaryFolder diary(folder, password, DiaryFolder::ReadOnly);
    std::map<std::string, std::string> entries;
    for (DiaryEntry &e : diary.Records().Entries())
        entries[e.Key] = std::move(e.Rtf);
    return entries;
}

void encryptDiary(const std::filesystem::path &folder, const std::string &password)
{
    engine::StartTableEngine();
    ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
    ASSERT_NE(xt_Use((folder / "QUILLNK.DBF").c_str(), "DIARY", 2, 2), 0);
    xt_SetPassword(password.c_str());
    xt_SetOrder(0);
    xt_CloseIndexes();
    ASSERT_EQ(xt_DbfEncrypt(), 0);
    xt_CloseAll();
    xt_SetPassword("");
    xt_SetKeyCost(0, 0, 0);
    engine::StopTableEngine();
    TProfileFile(folder / "QN.INI").WriteString("Security", "Password", EncryptString(password));
}

std::string normalizedBlanks(const std::string &utf8)
{
    std::string out;
    bool blank = false;
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
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

} // namespace qn::test
