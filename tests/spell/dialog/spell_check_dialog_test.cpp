// The spell check dialog over a rich text control, driven with mouse clicks
// and keys: the walk through the words, Skip, Replace, Add, the end of the
// check, and the user dictionary that is made when missing.
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "platform/program_dir.h"
#include "richtext/controls/rich_text.h"
#include "spell/dialog/spell_check_dialog.h"
#include "spell/dictionary_journal.h"
#include "spell/spelling_engine.h"
#include "tests/spell/spell_fixtures.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"

using namespace qn;

namespace {

const std::vector<std::string> kWords = {
    "the",  "diary", "of",   "day", "was",   "quiet", "and",   "long", "at",
    "end",  "wrote", "lot",  "it",  "today", "entry", "words", "here", "dry",
    "lung", "along", "then", "tea", "dear",  "rain",  "came"};

class SpellDialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir = ProgramDir();
        test::WriteMainDictionary(dir / kMainDictionaryName, kWords);
        std::filesystem::remove(userDictionary());
        std::filesystem::remove(spell::JournalPathFor(userDictionary().string()));
        window = std::make_unique<QWidget>();
        window->resize(520, 300);
        edit = new TQnRichText(window.get());
        edit->setGeometry(0, 0, 520, 300);
        edit->SetWordWrap(true);
        window->show();
        QApplication::setActiveWindow(window.get());
        edit->setFocus();
        QApplication::processEvents();
    }
    void TearDown() override
    {
        dialog.reset();
        window.reset();
    }

    std::filesystem::path userDictionary() const { return dir / kUserDictionaryName; }

    void load(const std::string &text)
    {
        edit->SetText(text);
        edit->Modified = false;
        QApplication::processEvents();
    }

    // Shows the dialog; it starts the walk from the event loop.
    TSpellCheckDialog &open(std::shared_ptr<spell::SpellingEngine> language = nullptr)
    {
        dialog = std::make_unique<TSpellCheckDialog>(window.get(), std::move(language));
        dialog->Editor = edit;
        dialog->show();
        QApplication::processEvents();
        return *dialog;
    }

    std::string selected()
    {
        const std::string text = edit->PlainText().toStdString();
        return text.substr(edit->SelStart(), edit->SelLength());
    }

    QStringList suggestions()
    {
        QStringList list;
        for (int i = 0; i < dialog->WordList->count(); ++i)
            list << dialog->WordList->item(i)->text();
        return list;
    }

    void clickSuggestion(const QString &text)
    {
        const auto items = dialog->WordList->findItems(text, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << text.toStdString();
        const QRect r = dialog->WordList->visualItemRect(items.front());
        QTest::mouseClick(dialog->WordList->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }

    std::filesystem::path dir;
    std::unique_ptr<QWidget> window;
    TQnRichText *edit = nullptr;
    std::unique_ptr<TSpellCheckDialog> dialog;
};

} // namespace

TEST_F(SpellDialogTest, WalksThreeMisspellingsWithReplaceSkipAndAdd)
{
    test::NotificationCapture messages;
    load("Teh diary of the day was quiet and lnog. At the end it wrote Quillnook");
    TSpellCheckDialog &d = open();
    EXPECT_TRUE(std::filesystem::exists(userDictionary())) << "made when missing";
    EXPECT_TRUE(d.Addbutton->isEnabled());

    // The first word of the document, marked in the editor.
    EXPECT_EQ(d.Word->text(), "Teh");
    EXPECT_EQ(selected(), "Teh");
    EXPECT_EQ(edit->GetCursorOffset(), 3) << "caret after the word";
    const QStringList first = suggestions();
    ASSERT_TRUE(first.contains("The")) << first.join(",").toStdString();
    for (const QString &s : first)
        EXPECT_TRUE(s[0].isUpper()) << "the case of the word as typed: " << s.toStdString();
    EXPECT_EQ(d.ReplaceAs->text(), first.front());
    clickSuggestion("The");
    EXPECT_EQ(d.ReplaceAs->text(), "The");
    QTest::mouseClick(d.Replace, Qt::LeftButton);
    EXPECT_TRUE(edit->PlainText().startsWith("The diary of"));
    EXPECT_TRUE(edit->Modified) << "a replacement changes the entry";

    // On after the replaced word: the next unknown word, without its full stop.
    EXPECT_EQ(d.Word->text(), "lnog");
    EXPECT_EQ(selected(), "lnog");
    EXPECT_TRUE(suggestions().contains("long"));
    QTest::mouseClick(d.GetNextWordButton, Qt::LeftButton);

    // The last word of the document.
    EXPECT_EQ(d.Word->text(), "Quillnook");
    EXPECT_EQ(selected(), "Quillnook");
    EXPECT_TRUE(messages.informations.empty());
    QTest::mouseClick(d.Addbutton, Qt::LeftButton);

    ASSERT_EQ(messages.informations, std::vector<std::string>{"Spell check complete"});
    EXPECT_FALSE(d.isVisible());
    QApplication::processEvents(); // the close request
    EXPECT_EQ(edit->SelLength(), 0) << "the mark goes when the dialog closes";
    EXPECT_EQ(edit->PlainText().toStdString(),
              "The diary of the day was quiet and lnog. At the end it wrote Quillnook");

    // The added word is known to a later check; the skipped one is not.
    TQnSpell later;
    ASSERT_GT(later.OpenUserDictionary(userDictionary().string()), 0);
    EXPECT_TRUE(later.IsCorrect("Quillnook"));
    messages.informations.clear();
    TSpellCheckDialog &again = open();
    EXPECT_EQ(again.Word->text(), "lnog");
    again.GetNextWordButton->setFocus();
    QTest::keyClick(again.GetNextWordButton, Qt::Key_Space);
    EXPECT_EQ(messages.informations, std::vector<std::string>{"Spell check complete"});
}

TEST_F(SpellDialogTest, EndsAtOnceWithoutMisspellings)
{
    test::NotificationCapture messages;
    for (const std::string text : {"The diary of the day was quiet.", "", "I a 7 x"}) {
        SCOPED_TRACE(text);
        load(text);
        messages.informations.clear();
        TSpellCheckDialog &d = open();
        EXPECT_EQ(messages.informations, std::vector<std::string>{"Spell check complete"});
        EXPECT_FALSE(d.isVisible());
        EXPECT_TRUE(d.Word->text().isEmpty());
        EXPECT_FALSE(edit->Modified);
    }
}

TEST_F(SpellDialogTest, LowerCaseAndCapitalWordsKeepTheirCaseAndCancelChangesNothing)
{
    test::NotificationCapture messages;
    load("ENTYR of teh diary");
    TSpellCheckDialog &d = open();
    EXPECT_EQ(d.Word->text(), "ENTYR");
    for (const QString &s : suggestions())
        EXPECT_EQ(s, s.toUpper());
    EXPECT_TRUE(suggestions().contains("ENTRY"));
    QTest::mouseClick(d.GetNextWordButton, Qt::LeftButton);
    EXPECT_EQ(d.Word->text(), "teh");
    EXPECT_TRUE(suggestions().contains("the"));
    for (const QString &s : suggestions())
        EXPECT_EQ(s, s.toLower());
    // A replacement typed by hand; then Cancel leaves the entry as it was.
    d.ReplaceAs->setFocus();
    QTest::keyClick(d.ReplaceAs, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(d.ReplaceAs, "tea");
    EXPECT_EQ(edit->SelLength(), 3);
    QTest::mouseClick(d.Cancel, Qt::LeftButton);
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(edit->SelLength(), 0);
    EXPECT_EQ(edit->PlainText().toStdString(), "ENTYR of teh diary");
    EXPECT_FALSE(edit->Modified);
    EXPECT_TRUE(messages.informations.empty());
}

TEST_F(SpellDialogTest, AnUnreadableUserDictionaryIsSaidAndLeftAlone)
{
    test::writeFile(userDictionary(), "not a dictionary at all");
    test::NotificationCapture messages;
    load("Teh diary");
    TSpellCheckDialog &d = open();
    ASSERT_FALSE(messages.informations.empty());
    EXPECT_NE(messages.informations.front().find("cannot be read"), std::string::npos);
    EXPECT_FALSE(d.Addbutton->isEnabled());
    EXPECT_EQ(d.Word->text(), "Teh") << "the check goes on with the main dictionary";
    EXPECT_EQ(test::readFile(userDictionary()), "not a dictionary at all");
}

TEST_F(SpellDialogTest, PictureOverAnEntry)
{
    load("Dear diary, teh rain came along at the end of the day and I wrote a lot.");
    TSpellCheckDialog &d = open();
    ASSERT_EQ(d.Word->text(), "teh");
    QImage picture = window->grab().toImage();
    QPainter painter(&picture);
    const QRect place((picture.width() - d.width()) / 2, (picture.height() - d.height()) / 2 + 30,
                      d.width(), d.height());
    const QRect caption(place.left(), place.top() - 20, place.width(), 20);
    painter.fillRect(caption, QColor(0, 0, 128));
    painter.setPen(Qt::white);
    painter.drawText(caption.adjusted(6, 0, 0, 0), Qt::AlignVCenter, d.windowTitle());
    painter.drawPixmap(place.topLeft(), d.grab());
    painter.setPen(Qt::black);
    painter.drawRect(caption.united(place).adjusted(0, 0, -1, -1));
    painter.end();
    const auto shots = test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    EXPECT_TRUE(picture.save(QString::fromStdString((shots / "spell_check_dialog.png").string())));
}

TEST_F(SpellDialogTest, AMissingMainDictionaryIsSaidWithWhereItWasLookedFor)
{
    std::filesystem::remove(dir / kMainDictionaryName);
    // A dictionary of the old default name in the current folder is never read.
    test::TempDir here;
    test::WriteMainDictionary(here / "qnspell.dct", kWords);
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(here.path());
    test::NotificationCapture messages;
    load("Teh diary of the day");
    TSpellCheckDialog &d = open();
    QApplication::processEvents();
    std::filesystem::current_path(before);

    ASSERT_EQ(messages.informations.size(), 1u);
    const std::string &said = messages.informations[0];
    EXPECT_NE(said.find("quillnk.dct is missing"), std::string::npos) << said;
    for (const std::filesystem::path &folder : ResourceDirs())
        EXPECT_NE(said.find(folder.string()), std::string::npos) << said;
    EXPECT_FALSE(d.QnSpell1.MainDictionaryOpen());
    EXPECT_FALSE(d.isVisible());
    EXPECT_EQ(edit->SelLength(), 0) << "no word is flagged";
    EXPECT_EQ(d.Word->text(), "");
}

// In another language the dialog checks with that language's dictionary and
// adds to that language's own words; the English dictionaries are neither
// needed nor touched.
TEST_F(SpellDialogTest, AnotherLanguageChecksAndAddsWithItsOwnDictionary)
{
    const auto installed = spell::InstalledDictionaries();
    const auto german =
        std::find_if(installed.begin(), installed.end(),
                     [](const spell::InstalledDictionary &d) { return d.Code == "de_DE"; });
    if (german == installed.end())
        GTEST_SKIP() << "no German Hunspell dictionary (package hunspell-de-de)";
    std::filesystem::remove(dir / kMainDictionaryName);
    test::TempDir folder;
    const auto words = folder / "quillnku-de_DE.txt";
    auto engine = std::shared_ptr<spell::SpellingEngine>(
        spell::MakeHunspellEngine(german->Base, words.string()));
    ASSERT_TRUE(engine);

    test::NotificationCapture messages;
    load("Das Haus und der Garten, teh Flurbo und die Stra\xDF"
         "e. Flurbo");
    TSpellCheckDialog &d = open(engine);
    EXPECT_TRUE(d.Addbutton->isEnabled());
    EXPECT_EQ(d.Word->text(), "teh");
    EXPECT_EQ(selected(), "teh");
    QTest::mouseClick(d.GetNextWordButton, Qt::LeftButton);
    EXPECT_EQ(d.Word->text(), "Flurbo");
    const QStringList offered = suggestions();
    EXPECT_LE(offered.size(), 10);
    QTest::mouseClick(d.Addbutton, Qt::LeftButton);
    // The second "Flurbo" is known now: the walk ends.
    EXPECT_EQ(messages.informations, std::vector<std::string>{"Spell check complete"});
    EXPECT_EQ(test::readFile(words), "Flurbo\n");
    EXPECT_TRUE(engine->IsCorrect("Flurbo")) << "the shared engine knows it at once";
    EXPECT_FALSE(std::filesystem::exists(userDictionary())) << "English is left alone";
    EXPECT_EQ(edit->PlainText().toStdString(),
              "Das Haus und der Garten, teh Flurbo und die Stra\xC3\x9F"
              "e. Flurbo");
}
