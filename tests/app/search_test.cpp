#include "app/date_key.h"
#include "app/look_for_all.h"
#include "app/main_screen.h"
#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/datetime.h"
#include "platform/modal_result.h"
#include "platform/qt/messages.h"

#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

namespace {

// A diary of its own for every case; the search dialog answers what the
// case sets, and the information boxes are collected.
class SearchTest : public testing::Test {
protected:
    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;
    std::unique_ptr<qn::test::NotificationCapture> capture;
    int answer = mrOk;
    std::string typed;
    int asked = 0;

    void SetUp() override { open(); }
    void TearDown() override
    {
        w.reset();
        capture.reset();
        ResetFormatSettings();
    }
    void open()
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        ASSERT_FALSE(w->StartFailed()) << w->OpenFailure();
        w->show();
        capture = std::make_unique<qn::test::NotificationCapture>();
        w->RunLookForAll = [this](TMainScreen &, std::string &text) {
            ++asked;
            text = typed;
            return answer;
        };
    }
    // An entry written as the user would: typed and saved.
    void write(int year, int month, int day, const std::string &text)
    {
        goTo(year, month, day);
        w->QnRichText1->TypeText(text);
        ASSERT_TRUE(w->SaveButtonClick());
    }
    void goTo(int year, int month, int day)
    {
        w->CurrentDate = EncodeDate(year, month, day);
        w->FindDateRecord();
        w->LoadRichText();
    }
    void find(const std::string &text)
    {
        typed = text;
        w->mnuFindentrycontainingClick();
    }
    std::vector<std::string> &told() { return capture->informations; }
    std::string shown() const { return DateKey(w->CurrentDate); }
};

} // namespace

TEST_F(SearchTest, FindsOldestFirstThenNextUntilNoMore)
{
    write(2024, 1, 3, "The harbour at dawn");
    write(2024, 1, 4, "Back at the harbour");
    write(2024, 1, 1, "Nothing here");
    goTo(2024, 2, 1);

    find("harbour");
    EXPECT_EQ(shown(), "20240103");
    EXPECT_TRUE(w->SearchHit);
    EXPECT_TRUE(w->mnuFindNextBig->isEnabled());
    EXPECT_EQ(w->QnRichText1->PlainText(), QStringLiteral("The harbour at dawn"));
    EXPECT_TRUE(told().empty());

    w->mnuFindNextBigClick();
    EXPECT_EQ(shown(), "20240104");
    EXPECT_TRUE(w->mnuFindNextBig->isEnabled());

    w->mnuFindNextBigClick();
    EXPECT_EQ(shown(), "20240104"); // stays
    EXPECT_FALSE(w->SearchHit);
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());
    ASSERT_EQ(told().size(), 1u);
    EXPECT_EQ(told()[0], "No more matches");
}

TEST_F(SearchTest, TextOnlyInTheNewestEntryAndTheWildcard)
{
    write(2023, 5, 1, "first words");
    write(2023, 5, 2, "second words");
    write(2023, 5, 9, "the only mention of lighthouses");
    goTo(2023, 4, 1);
    find("LIGHTHOUSE"); // case folded
    EXPECT_EQ(shown(), "20230509");
    w->mnuFindNextBigClick();
    EXPECT_EQ(told(), std::vector<std::string>{"No more matches"});
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());

    told().clear();
    find("sec*words");
    EXPECT_EQ(shown(), "20230502");
    EXPECT_TRUE(told().empty());
}

TEST_F(SearchTest, WordsOfEveryScriptAreFoundWhateverTheirCase)
{
    // Typed through the editor's Unicode path, saved as \u words, found
    // again with case folded beyond the code page.
    auto writeUnicode = [this](int day, const char *utf8) {
        goTo(2024, 3, day);
        static_cast<TQnCustomRtfEdit *>(w->QnRichText1)->TypeText(QString::fromUtf8(utf8));
        ASSERT_TRUE(w->SaveButtonClick());
    };
    writeUnicode(1, "Wakacje w \u0142\u00F3d\u017A, potem morze");
    writeUnicode(2, "\u03A4\u03B1\u03BE\u03AF\u03B4\u03B9 \u03C3\u03C4\u03B7\u03BD "
                    "\u03B1\u03B8\u03AE\u03BD\u03B1");
    writeUnicode(3, "\u65E5\u672C\u8A9E and \U0001F44D\U0001F3FD");
    const std::pair<const char *, const char *> cases[] = {
        {"\u0141\u00D3D\u0179", "20240301"},            // ŁÓDŹ
        {"\u0391\u0398\u0389\u039D\u0391", "20240302"}, // ΑΘΉΝΑ
        {"\u672C\u8A9E", "20240303"},
        {"\U0001F44D\U0001F3FD", "20240303"},
    };
    for (const auto &[text, day] : cases) {
        goTo(2024, 1, 1);
        told().clear();
        find(text);
        EXPECT_EQ(shown(), day) << text;
        EXPECT_TRUE(told().empty()) << text;
    }
    // A word that is in no entry is not found by its letters' case partners
    // of another script.
    goTo(2024, 1, 1);
    told().clear();
    find("\u041B\u041E\u0414\u0417"); // ЛОДЗ
    EXPECT_EQ(told(), std::vector<std::string>{"No matches"});
}

TEST_F(SearchTest, NoMatchesCancelAndAnEmptyDiary)
{
    goTo(2024, 6, 15);
    find("anything");
    EXPECT_EQ(told(), std::vector<std::string>{"No matches"});
    EXPECT_EQ(shown(), "20240615");
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());

    write(2024, 6, 1, "a found word");
    goTo(2024, 6, 15);
    find("found");
    ASSERT_EQ(shown(), "20240601");
    told().clear();

    // Cancel, or OK with nothing typed: nothing changes, nothing is said.
    goTo(2024, 6, 15);
    answer = mrCancel;
    find("found");
    answer = mrOk;
    find("");
    EXPECT_TRUE(told().empty());
    EXPECT_EQ(shown(), "20240615");
    EXPECT_EQ(w->SearchText, "found");
    EXPECT_TRUE(w->SearchHit);
    EXPECT_TRUE(w->mnuFindNextBig->isEnabled());
}

TEST_F(SearchTest, TheRtfSourceNeverMatches)
{
    write(2024, 7, 1, "plain words");
    // Font names, control words and colour tables are not text.
    for (const char *source : {"Arial", "rtf1", "fonttbl", "par"}) {
        told().clear();
        find(source);
        EXPECT_EQ(told(), std::vector<std::string>{"No matches"}) << source;
    }
}

TEST_F(SearchTest, FindNextGoesOnAfterTheDateOnScreen)
{
    write(2024, 8, 1, "walk one");
    write(2024, 8, 5, "walk two");
    write(2024, 8, 9, "walk three");
    find("walk");
    EXPECT_EQ(shown(), "20240801");
    // The user moves to another entry: the scan continues after it.
    goTo(2024, 8, 5);
    w->mnuFindNextBigClick();
    EXPECT_EQ(shown(), "20240809");
    // On a date without an entry nothing is left.
    goTo(2024, 8, 7);
    told().clear();
    w->mnuFindNextBigClick();
    EXPECT_EQ(told(), std::vector<std::string>{"No more matches"});
    EXPECT_EQ(shown(), "20240807");
}

TEST_F(SearchTest, AModifiedEntryIsSavedFirstAndFound)
{
    goTo(2024, 9, 1);
    w->QnRichText1->TypeText(std::string("unsaved thought"));
    EXPECT_FALSE(w->SaveButton->isHidden());
    find("thought");
    EXPECT_TRUE(w->SaveButton->isHidden());
    EXPECT_EQ(shown(), "20240901");
    EXPECT_TRUE(told().empty());
}

TEST_F(SearchTest, StoppingAScanKeepsTheDateAndSaysNothing)
{
    write(2024, 10, 1, "alpha");
    write(2024, 10, 2, "beta");
    write(2024, 10, 3, "gamma");
    goTo(2024, 11, 1);
    std::vector<std::string> visited;
    w->OnScanStep = [&](TDateTime date) {
        visited.push_back(DateKey(date));
        return visited.size() == 2; // Escape while the second entry is due
    };
    find("gamma");
    EXPECT_EQ(visited, (std::vector<std::string>{"20241001", "20241002"}));
    EXPECT_EQ(shown(), "20241101");
    EXPECT_FALSE(w->SearchHit);
    EXPECT_FALSE(w->mnuFindNextBig->isEnabled());
    EXPECT_TRUE(told().empty());
}

TEST_F(SearchTest, ALongScanShowsTheDateAndEscapeStopsIt)
{
    write(2025, 2, 1, "one");
    write(2025, 2, 2, "two");
    write(2025, 2, 3, "three");
    goTo(2025, 3, 1);
    QString label;
    int steps = 0;
    w->OnScanStep = [&](TDateTime) {
        if (++steps == 1) {
            QTest::qWait(600); // the first entry takes long
            return false;
        }
        auto *progress = w->findChild<QProgressDialog *>();
        if (progress && progress->isVisible()) {
            label = progress->labelText();
            QTest::keyClick(progress, Qt::Key_Escape);
        }
        return false;
    };
    find("three");
    EXPECT_EQ(label.toStdString(), "Searching the entry of Saturday, February 1, 2025");
    EXPECT_EQ(steps, 2);
    EXPECT_EQ(shown(), "20250301");
    EXPECT_FALSE(w->SearchHit);
    EXPECT_TRUE(told().empty());
}

TEST_F(SearchTest, AnEncryptedDiaryIsSearchedTheSameWay)
{
    write(2024, 12, 1, "secret garden");
    write(2024, 12, 2, "open field");
    // The diary encrypted under a password, as the password command does.
    w->DiaryPassword = "pass word";
    w->DiaryXTable->SetPassword("pass word");
    w->DiaryXTable->DbfEncrypt();
    ASSERT_EQ(qn::test::readFile(dir / "QUILLNK.FPT").find("garden"), std::string::npos);
    goTo(2025, 1, 1);
    find("garden");
    EXPECT_EQ(shown(), "20241201");
    EXPECT_EQ(w->QnRichText1->PlainText(), QStringLiteral("secret garden"));
}

TEST(LookForAllDialog, CaptionControlsAndResults)
{
    TLookForAll dialog;
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Find text from any entry"));
    EXPECT_EQ(dialog.size(), QSize(264, 142));
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("Text to look for"));
    QTimer::singleShot(0, [&] {
        EXPECT_EQ(dialog.focusWidget(), dialog.LookForText);
        QTest::keyClicks(dialog.LookForText, QStringLiteral("tide"));
        QTest::keyClick(dialog.LookForText, Qt::Key_Return);
    });
    EXPECT_EQ(dialog.exec(), mrOk);
    EXPECT_EQ(dialog.LookForText->text(), QStringLiteral("tide"));
    QTimer::singleShot(0, [&] { QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton); });
    EXPECT_EQ(dialog.exec(), mrCancel);
}

TEST_F(SearchTest, TheTextKeptForTheSessionFollowsEverySaveAndDeletion)
{
    write(2024, 3, 1, "apples and pears");
    write(2024, 3, 2, "only pears");
    goTo(2024, 4, 1);
    find("apples");
    ASSERT_EQ(shown(), "20240301");

    // Changed and saved: the old text is found no more, the new one is.
    w->QnRichText1->SelectAll();
    w->QnRichText1->TypeText(std::string("quinces now"));
    ASSERT_TRUE(w->SaveButtonClick());
    goTo(2024, 4, 1);
    find("apples");
    EXPECT_EQ(told(), std::vector<std::string>{"No matches"});
    told().clear();
    find("QUINCES");
    EXPECT_EQ(shown(), "20240301");

    // Emptied: its record goes, and with it its text.
    goTo(2024, 3, 1);
    w->QnRichText1->SelectAll();
    w->QnRichText1->TypeText(std::string(" "));
    ASSERT_TRUE(w->SaveButtonClick());
    goTo(2024, 4, 1);
    find("quinces");
    EXPECT_EQ(told(), std::vector<std::string>{"No matches"});
    told().clear();

    // A new entry on that date is read afresh.
    write(2024, 3, 1, "plums");
    goTo(2024, 4, 1);
    find("plums");
    EXPECT_EQ(shown(), "20240301");
    EXPECT_TRUE(told().empty());
}
