#include "app/default_font_dialog.h"
#include "app/exchange/diary_backup.h"
#include "app/exchange/diary_records.h"
#include "app/exchange_commands.h"
#include "app/get_password.h"
#include "app/main_screen.h"
#include "engine/engine_files.h"
#include "engine/xdata_table.h"
#include "engine/xt.h"
#include "engine/xtable.h"
#include "platform/password_scramble.h"
#include "platform/profile.h"
#include "platform/qt/messages.h"

#include "tests/support/fault_file_system.h"
#include "tests/support/notification_capture.h"
#include "tests/support/temp_dir.h"
#include "xbase/table.h"

#include <QApplication>
#include <QCheckBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QFrame>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace qn;
namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

void savePicture(QWidget &widget, const std::string &name)
{
    const fs::path folder = qn::test::binaryDir() / "screenshots";
    fs::create_directories(folder);
    widget.grab().save(QString::fromStdString((folder / name).string()));
}

// A diary folder of its own for every case, a window on it, and the
// engine's cheapest key cost so that keys are made fast.
class PreferencesTest : public testing::Test {
protected:
    qn::test::TempDir dir;
    qn::test::FaultFileSystem faults;
    std::unique_ptr<TMainScreen> w;
    qn::test::NotificationCapture capture;

    void SetUp() override
    {
        ASSERT_EQ(xt_SetKeyCost(64, 1, 1), 0);
        engine::SetEngineFileSystem(&faults);
    }
    void TearDown() override
    {
        MergeQuestion() = {};
        w.reset();
        faults.crashAfter(-1);
        engine::SetEngineFileSystem(nullptr);
        xt_SetKeyCost(0, 0, 0);
        xt_SetPassword("");
        ResetFormatSettings();
    }

    void open()
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        ASSERT_FALSE(w->StartFailed()) << w->OpenFailure();
    }
    void closeWindow()
    {
        if (w)
            w->close();
        w.reset();
    }
    fs::path ini() const { return dir / "QN.INI"; }
    std::string storedPassword() const
    {
        return TProfileFile(ini()).ReadString("Security", "Password", "<none>");
    }

    void add(int count)
    {
        for (int i = 1; i <= count; ++i) {
            char key[16];
            std::snprintf(key, sizeof key, "2024%02d%02d", 1 + (i - 1) / 28, 1 + (i - 1) % 28);
            w->DiaryTable->Append();
            w->DiaryTableDATE->SetAsString(key);
            w->DiaryTableENTRY->SetAsString("{\\rtf1 private entry " + std::string(key) +
                                            std::string(size_t(i * 53 % 400), 'q') + "}");
            w->DiaryTable->Post();
        }
        w->FindDateRecord();
    }
    // Every record as "DATE|ENTRY", in the order of the date tag.
    Strings entries()
    {
        Strings all;
        w->DiaryTable->First();
        while (!w->DiaryTable->Eof()) {
            all.push_back(w->DiaryTableDATE->AsString() + "|" + w->DiaryTableENTRY->AsString());
            w->DiaryTable->Next();
        }
        w->FindDateRecord();
        return all;
    }
    bool anyFileHoldsClearText()
    {
        for (const auto &e : fs::directory_iterator(dir.path()))
            if (qn::test::readFile(e.path()).find("private entry") != std::string::npos)
                return true;
        return false;
    }
    // Types into the locked window's panel and presses OK.
    void unlock(const std::string &typed)
    {
        w->Pass->setText(QString::fromStdString(typed));
        QTest::mouseClick(w->BitBtn1, Qt::LeftButton);
    }
    bool locked() const { return !w->PrivacyPanel->isHidden(); }

    // "Select or Change Password" with the two edits filled and `button`
    // pressed; `during` runs in the dialog before the press.
    void passwordDialog(const std::string &old, const std::string &now, const char *button = "OK",
                        std::function<void(TGetPassword &)> during = {})
    {
        w->RunPasswordDialog = [&](TGetPassword &d) {
            if (!d.OldPassword->isHidden())
                d.OldPassword->setText(QString::fromStdString(old));
            d.NewPassword->setText(QString::fromStdString(now));
            d.NewPasswordAgain->setText(QString::fromStdString(now));
            if (during)
                during(d);
            (std::string(button) == "OK" ? d.OkButton : d.ClearButton)->click();
        };
        w->mnuSecurityClick();
        w->RunPasswordDialog = nullptr;
    }
};

} // namespace

TEST_F(PreferencesTest, WithoutQnIniTheDiaryIsOpenInArial10Black)
{
    open();
    EXPECT_FALSE(fs::exists(ini()));
    EXPECT_FALSE(locked());
    EXPECT_EQ(w->DiaryPassword, "");
    EXPECT_EQ(w->DefaultFontName, "Arial");
    EXPECT_EQ(w->DefaultFontSize, 10);
    EXPECT_FALSE(w->DefaultFontBold || w->DefaultFontItalic || w->DefaultFontUnderline);
    EXPECT_EQ(w->DefaultFontColor, 0u);
    EXPECT_EQ(w->DefaultFontdialogFont.family(), "Arial");
    EXPECT_EQ(w->DefaultFontdialogFont.pointSize(), 10);
    EXPECT_TRUE(capture.informations.empty());
}

TEST_F(PreferencesTest, EveryAllowedPasswordSurvivesTheFileRoundTrip)
{
    open();
    std::string allowed = " ";
    for (char c = 'A'; c <= 'Z'; ++c)
        allowed += c;
    for (char c = 'a'; c <= 'z'; ++c)
        allowed += c;
    for (char c = '0'; c <= '9'; ++c)
        allowed += c;
    for (size_t i = 0; i < allowed.size(); ++i) {
        // Each character at an odd and at an even place, with blanks at both ends.
        std::string password(8, allowed[i]);
        password[3] = allowed[(i + 1) % allowed.size()];
        password[0] = ' ';
        password[7] = allowed[(i * 7) % allowed.size()];
        ASSERT_TRUE(ValidPasswordText(password));
        EXPECT_EQ(Decryptstring(EncryptString(password)), password);
        w->DiaryPassword = password;
        w->SavePreferences();
        w->DiaryPassword.clear();
        w->LoadPreferences();
        ASSERT_EQ(w->DiaryPassword, password) << "'" << password << "'";
        EXPECT_EQ(storedPassword().size(), 8u);
    }
}

TEST_F(PreferencesTest, APasswordEncryptsTheDiaryAndLocksTheNextStart)
{
    open();
    add(12);
    const Strings before = entries();
    passwordDialog("", "Ab 9");
    EXPECT_EQ(capture.informations, Strings{"Be sure to write down your new password: Ab 9"});
    EXPECT_EQ(storedPassword().size(), 4u);
    EXPECT_NE(storedPassword(), "Ab 9");
    EXPECT_FALSE(anyFileHoldsClearText());
    // The window goes on with its table under the new key.
    EXPECT_EQ(entries(), before);
    // The index is open again and finds the dates.
    EXPECT_NE(w->DiaryXTable->TagArea("DATE"), 0);
    EXPECT_TRUE(w->DiaryXTable->Seek("20240105"));
    closeWindow();

    capture.informations.clear();
    open();
    ASSERT_TRUE(locked());
    EXPECT_FALSE(w->DiaryKeyRefused());
    unlock("ab 9");
    EXPECT_EQ(capture.informations, Strings{"Sorry, that is the wrong password"});
    EXPECT_TRUE(locked());
    unlock("Ab 9");
    EXPECT_FALSE(locked());
    EXPECT_EQ(entries(), before);

    // Changing it to the same text rewrites nothing and says nothing.
    capture.informations.clear();
    const std::string table = qn::test::readFile(dir / "QUILLNK.DBF");
    passwordDialog("Ab 9", "Ab 9");
    EXPECT_TRUE(capture.informations.empty());
    EXPECT_EQ(qn::test::readFile(dir / "QUILLNK.DBF"), table);

    // Clearing decrypts it and removes the lock.
    passwordDialog("Ab 9", "", "Clear");
    EXPECT_EQ(capture.informations, Strings{"Password cleared. No password now required."});
    EXPECT_EQ(storedPassword(), "");
    EXPECT_TRUE(anyFileHoldsClearText());
    closeWindow();
    open();
    EXPECT_FALSE(locked());
    EXPECT_EQ(entries(), before);
}

TEST_F(PreferencesTest, TheDialogRefusesBadInputAndLosesNothing)
{
    open();
    add(3);
    // Clearing when there is no password: no message, nothing written.
    passwordDialog("", "", "Clear");
    EXPECT_TRUE(capture.informations.empty());
    EXPECT_FALSE(fs::exists(ini()));

    passwordDialog("", "Pw1");
    capture.informations.clear();
    passwordDialog("", "Other");
    EXPECT_EQ(capture.informations, Strings{"Previous password is required"});
    capture.informations.clear();
    passwordDialog("pw1", "Other", "Clear");
    EXPECT_EQ(capture.informations, Strings{"Previous password is incorrect"});
    EXPECT_EQ(w->DiaryPassword, "Pw1");

    // A new password with a character outside the set: beep, message, the
    // edit emptied; pressing OK with it never clears the password.
    capture.informations.clear();
    bool emptied = false;
    passwordDialog("Pw1", "a-b", "OK", [&](TGetPassword &d) {
        EXPECT_EQ(d.NewPassword->maxLength(), 8);
        EXPECT_EQ(d.OldPassword->maxLength(), 8);
        EXPECT_EQ(d.OldPassword->echoMode(), QLineEdit::Password);
        EXPECT_FALSE(d.NewPasswordExit());
        emptied = d.NewPassword->text().isEmpty();
        d.NewPassword->setText("a-b");
    });
    EXPECT_TRUE(emptied);
    EXPECT_EQ(capture.beeps.size(), 2u);
    EXPECT_EQ(capture.informations,
              Strings(2, "Valid password characters are A-Z, 0-9 and spaces"));
    EXPECT_EQ(w->DiaryPassword, "Pw1");
    EXPECT_EQ(Decryptstring(storedPassword()), "Pw1");
    EXPECT_FALSE(ValidPasswordText("\xe9t\xe9"));
    EXPECT_TRUE(ValidPasswordText("Zz 09"));
}

TEST_F(PreferencesTest, TheBackupsFollowThePasswordOrAreDeleted)
{
    open();
    add(6);
    closeWindow(); // the day's backup, in clear
    ASSERT_EQ(exchange::ListBackups(dir.path()).size(), 1u);
    const fs::path backup = exchange::ListBackups(dir.path())[0].Folder;
    ASSERT_NE(qn::test::readFile(backup / "QUILLNK.FPT").find("private entry"), std::string::npos);

    open();
    std::vector<int> gauge;
    passwordDialog("", "Ab 9", "OK", [&](TGetPassword &d) {
        EXPECT_FALSE(d.DeleteBackups->isChecked()) << "kept unless the user says otherwise";
        d.OnProgress = [&] { gauge.push_back(d.Gauge1->value()); };
    });
    EXPECT_FALSE(gauge.empty());
    EXPECT_EQ(qn::test::readFile(backup / "QUILLNK.FPT").find("private entry"), std::string::npos)
        << "the backup made in clear is encrypted under the new password";
    {
        xbase::EngineSettings settings;
        settings.password = "Ab 9";
        auto table =
            xbase::Table::open(backup / "QUILLNK.DBF", xbase::Table::Access::ReadOnly, settings);
        EXPECT_TRUE(table->keyFits());
        EXPECT_EQ(table->recordCount(), 6u);
    }
    EXPECT_FALSE(fs::exists(backup / "QN.INI"));

    // Removing the password, with the backups deleted as the user chose.
    passwordDialog("Ab 9", "", "Clear",
                   [&](TGetPassword &d) { d.DeleteBackups->setChecked(true); });
    EXPECT_TRUE(exchange::ListBackups(dir.path()).empty());
    EXPECT_FALSE(fs::exists(backup));
}

TEST_F(PreferencesTest, AFailedChangeKeepsTheOldPasswordAndTheDialogUsable)
{
    open();
    add(10);
    const Strings before = entries();
    passwordDialog("", "Old1");
    capture.informations.clear();
    bool usable = false, stillOld = false;
    w->RunPasswordDialog = [&](TGetPassword &d) {
        d.OldPassword->setText("Old1");
        d.NewPassword->setText("New2");
        d.NewPasswordAgain->setText("New2");
        faults.crashAfter(4); // the disk refuses in the middle of the rewrite
        d.OkButton->click();
        faults.crashAfter(-1);
        usable = d.OkButton->isEnabled() && d.ClearButton->isEnabled() &&
                 d.CancelButton->isEnabled() && !d.PassPanel->isHidden() && d.Gauge1->isHidden();
        stillOld = w->DiaryPassword == "Old1";
        // The disk works again: the same dialog finishes the change.
        d.OkButton->click();
    };
    w->mnuSecurityClick();
    EXPECT_TRUE(usable);
    EXPECT_TRUE(stillOld);
    ASSERT_EQ(capture.informations.size(), 2u);
    EXPECT_EQ(capture.informations[0].rfind("The password could not be changed (", 0), 0u)
        << capture.informations[0];
    EXPECT_EQ(capture.informations[1], "Be sure to write down your new password: New2");
    EXPECT_EQ(entries(), before);
    closeWindow();
    open();
    unlock("New2");
    EXPECT_FALSE(locked());
    EXPECT_EQ(entries(), before);
}

TEST_F(PreferencesTest, AnEncryptedDiaryWithoutQnIniAsksForItsPassword)
{
    open();
    add(5);
    const Strings before = entries();
    w->DefaultFontdialogFont.setPointSize(14);
    w->SavePreferences();
    passwordDialog("", "Pw1");
    closeWindow();
    fs::remove(ini());

    capture.informations.clear();
    open();
    ASSERT_TRUE(locked());
    EXPECT_TRUE(w->DiaryKeyRefused());
    EXPECT_TRUE(w->ActionPanel->isHidden());
    unlock("");
    unlock("Pw2");
    EXPECT_EQ(capture.informations, Strings(2, "Sorry, that is the wrong password"));
    EXPECT_TRUE(locked());
    EXPECT_FALSE(fs::exists(ini()));
    unlock("Pw1");
    EXPECT_FALSE(locked());
    EXPECT_FALSE(w->DiaryKeyRefused());
    EXPECT_FALSE(w->ActionPanel->isHidden());
    // The speed buttons are in the tool bar as after any start.
    for (QToolButton *button :
         {w->DocPageBreakButton, w->ParagraphSetupButton, w->DocWordWrapButton, w->Printbutton}) {
        EXPECT_EQ(button->parentWidget(), w->QnToolBar2) << button->objectName().toStdString();
        EXPECT_FALSE(button->isHidden()) << button->objectName().toStdString();
    }
    EXPECT_EQ(w->DocWordWrapButton->toolTip(), QStringLiteral("Toggle word wrap off"));
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(Decryptstring(storedPassword()), "Pw1");
    closeWindow();

    // Written again: the next start is an ordinary locked one.
    open();
    EXPECT_TRUE(locked());
    EXPECT_FALSE(w->DiaryKeyRefused());
    unlock("Pw1");
    EXPECT_FALSE(locked());
}

// The password change stopped after each write in turn (the program killed
// there: nothing more reaches the disk). Whatever the stop, the next start
// opens the diary with the password the user would type, old or new, with
// every entry intact, and between two passwords the entries never reach the
// disk in clear.
TEST_F(PreferencesTest, AnInterruptedChangeLeavesADiaryTheOldOrTheNewPasswordOpens)
{
    struct Case {
        std::string old, now;
    };
    for (const Case &c : {Case{"", "Pw1"}, Case{"Pw1", "New 22"}, Case{"Pw1", ""}}) {
        SCOPED_TRACE(c.old + " -> " + c.now);
        for (auto &e : fs::directory_iterator(dir.path()))
            fs::remove_all(e.path());
        open();
        add(9);
        const Strings before = entries();
        if (!c.old.empty())
            passwordDialog("", c.old);
        closeWindow();
        std::map<fs::path, std::string> start;
        for (auto &e : fs::directory_iterator(dir.path()))
            start[e.path().filename()] = qn::test::readFile(e.path());

        bool completed = false;
        int sawOld = 0, sawNew = 0, asked = 0;
        for (long n = 0; !completed && n < 400; ++n) {
            SCOPED_TRACE(n);
            for (auto &e : fs::directory_iterator(dir.path()))
                fs::remove_all(e.path());
            for (const auto &[name, bytes] : start)
                qn::test::writeFile(dir / name, bytes);
            open();
            if (!c.old.empty())
                unlock(c.old);
            ASSERT_FALSE(locked());
            passwordDialog(c.old, c.now, c.now.empty() ? "Clear" : "OK",
                           [&](TGetPassword &) { faults.crashAfter(n); });
            completed = !faults.crashed();
            w.reset(); // killed: still crashed, nothing more is written
            faults.crashAfter(-1);
            if (!c.old.empty() && !c.now.empty()) {
                EXPECT_FALSE(anyFileHoldsClearText());
            }

            capture.informations.clear();
            open();
            asked += w->DiaryKeyRefused();
            if (locked())
                unlock(c.old);
            if (locked())
                unlock(c.now);
            ASSERT_FALSE(locked()) << testing::PrintToString(capture.informations);
            EXPECT_EQ(entries(), before);
            const bool isNew = w->DiaryPassword == c.now;
            (isNew ? sawNew : sawOld)++;
            EXPECT_TRUE(isNew || w->DiaryPassword == c.old);
            closeWindow();
            // QN.INI and the table agree again: the next start needs no second try.
            capture.informations.clear();
            open();
            EXPECT_FALSE(w->DiaryKeyRefused());
            if (locked())
                unlock(isNew ? c.now : c.old);
            EXPECT_FALSE(locked());
            EXPECT_TRUE(capture.informations.empty())
                << testing::PrintToString(capture.informations);
            closeWindow();
        }
        EXPECT_TRUE(completed);
        EXPECT_GT(sawOld, 1);
        EXPECT_GT(sawNew, 1);
        if (!c.now.empty()) {
            EXPECT_GT(asked, 0); // stops between the rewrite and QN.INI
        }
    }
}

TEST_F(PreferencesTest, DefaultFontIsStoredForNewEntries)
{
    open();
    QFont offered;
    w->RunFontDialog = [&](TDefaultFontDialog &d) {
        offered = d.ChosenFont();
        return false;
    };
    w->mnuDefaultFontClick();
    EXPECT_EQ(offered.family(), "Arial");
    EXPECT_EQ(offered.pointSize(), 10);
    EXPECT_FALSE(fs::exists(ini())); // cancelled: nothing stored

    w->RunFontDialog = [&](TDefaultFontDialog &d) {
        QFont font("Liberation Serif", 14);
        font.setBold(true);
        font.setUnderline(true);
        d.FontChooser->setCurrentFont(font);
        return true;
    };
    w->mnuDefaultFontClick();
    TProfileFile file(ini());
    EXPECT_EQ(file.ReadString("Default Font", "Name", ""), "Liberation Serif");
    EXPECT_EQ(file.ReadInteger("Default Font", "Size", 0), 14);
    EXPECT_TRUE(file.ReadBool("Default Font", "Bold", false));
    EXPECT_FALSE(file.ReadBool("Default Font", "Italic", true));
    EXPECT_TRUE(file.ReadBool("Default Font", "Underline", false));
    EXPECT_EQ(file.ReadInteger("Default Font", "Color", -1), 0);
    EXPECT_EQ(file.ReadString("Security", "Password", "x"), "");
    closeWindow();

    // A colour and a damaged size from the file.
    TProfileFile(ini()).WriteInteger("Default Font", "Color", 0x0000FF);
    open();
    EXPECT_EQ(w->DefaultFontName, "Liberation Serif");
    EXPECT_EQ(w->DefaultFontSize, 14);
    EXPECT_TRUE(w->DefaultFontBold && w->DefaultFontUnderline && !w->DefaultFontItalic);
    EXPECT_EQ(w->DefaultFontColor, 0x0000FFu);
    closeWindow();
    TProfileFile(ini()).WriteString("Default Font", "Size", "-3");
    open();
    EXPECT_EQ(w->DefaultFontSize, 10);
}

TEST_F(PreferencesTest, DefaultFontOpensOnTheStoredFontAndOffersItsColour)
{
    // Arial is not installed: the dialog shows its stand-in as such.
    TProfileFile(ini()).WriteInteger("Default Font", "Color", 0x00336699);
    open();
    QString shownFamily, note, colourText;
    w->RunFontDialog = [&](TDefaultFontDialog &d) {
        shownFamily = d.FontChooser->currentFont().family();
        note = d.FontNote->text();
        colourText = d.ColorButton->text();
        // Only the size changes.
        QFont font = d.FontChooser->currentFont();
        font.setPointSize(12);
        d.FontChooser->setCurrentFont(font);
        // A new colour through the colour button.
        d.AskColor = [](QColor &colour) {
            colour = QColor(0x12, 0x34, 0x56);
            return true;
        };
        QTest::mouseClick(d.ColorButton, Qt::LeftButton);
        d.resize(d.sizeHint());
        savePicture(d, "default_font_dialog.png");
        return true;
    };
    w->mnuDefaultFontClick();
    EXPECT_EQ(shownFamily, QFontInfo(QFont("Arial")).family());
    EXPECT_NE(shownFamily, "Sans Serif");
    EXPECT_TRUE(note.contains("Arial")) << note.toStdString();
    EXPECT_TRUE(note.contains(shownFamily)) << note.toStdString();
    EXPECT_EQ(colourText, "#996633"); // 0x00BBGGRR shown as #RRGGBB
    TProfileFile file(ini());
    // The stored name stays, the size and the colour are the new ones.
    EXPECT_EQ(file.ReadString("Default Font", "Name", ""), "Arial");
    EXPECT_EQ(file.ReadInteger("Default Font", "Size", 0), 12);
    EXPECT_EQ(file.ReadInteger("Default Font", "Color", -1), 0x563412);
    EXPECT_EQ(w->DefaultFontColor, 0x563412u);

    // A colour dialog cancelled keeps the colour.
    w->RunFontDialog = [&](TDefaultFontDialog &d) {
        d.AskColor = [](QColor &) { return false; };
        d.ColorButtonClick();
        return true;
    };
    w->mnuDefaultFontClick();
    EXPECT_EQ(TProfileFile(ini()).ReadInteger("Default Font", "Color", -1), 0x563412);
}

TEST_F(PreferencesTest, TheNewPasswordIsTypedTwiceAndHidden)
{
    open();
    add(3);
    const Strings before = entries();
    bool hidden = false, cleared = false;
    passwordDialog("", "Pw1", "OK", [&](TGetPassword &d) {
        hidden = d.NewPassword->echoMode() == QLineEdit::Password &&
                 d.NewPasswordAgain->echoMode() == QLineEdit::Password &&
                 d.NewPasswordAgain->maxLength() == 8;
        d.NewPasswordAgain->setText("Pw2"); // a typo in the second
        savePicture(d, "password_dialog.png");
        d.OkButton->click();
        cleared = d.NewPassword->text().isEmpty() && d.NewPasswordAgain->text().isEmpty();
        EXPECT_EQ(w->DiaryPassword, "");
        // Typed again, the same both times.
        d.NewPassword->setText("Pw1");
        d.NewPasswordAgain->setText("Pw1");
    });
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(cleared);
    ASSERT_EQ(capture.informations.size(), 2u);
    EXPECT_EQ(capture.informations[0].rfind("The two new passwords differ", 0), 0u)
        << capture.informations[0];
    EXPECT_EQ(capture.informations[1], "Be sure to write down your new password: Pw1");
    EXPECT_EQ(Decryptstring(storedPassword()), "Pw1");

    // Differing, with only the second filled: nothing changes, nothing cleared.
    capture.informations.clear();
    w->RunPasswordDialog = [&](TGetPassword &d) {
        d.OldPassword->setText("Pw1");
        d.NewPasswordAgain->setText("Pw9");
        d.OkButton->click();
    };
    w->mnuSecurityClick();
    w->RunPasswordDialog = nullptr;
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0].rfind("The two new passwords differ", 0), 0u);
    EXPECT_EQ(w->DiaryPassword, "Pw1");
    EXPECT_EQ(entries(), before);
}

TEST_F(PreferencesTest, TheLockScreenClearsAWrongPassword)
{
    open();
    passwordDialog("", "Pw1");
    closeWindow();
    open();
    ASSERT_TRUE(locked());
    capture.informations.clear();
    unlock("Pw11");
    EXPECT_EQ(capture.informations, Strings{"Sorry, that is the wrong password"});
    EXPECT_TRUE(w->Pass->text().isEmpty());
    EXPECT_TRUE(locked());
    unlock("Pw1");
    EXPECT_FALSE(locked());
}

TEST_F(PreferencesTest, PicturesOfTheLockedWindowAndOfARunningChange)
{
    const auto shots = qn::test::binaryDir() / "screenshots";
    fs::create_directories(shots);
    open();
    w->resize(610, 460);
    add(120);
    passwordDialog("", "Pw1");
    closeWindow();
    open();
    w->resize(610, 460);
    w->show();
    ASSERT_TRUE(locked());
    QApplication::processEvents();
    EXPECT_TRUE(w->grab().save(QString::fromStdString((shots / "locked_window.png").string())));
    unlock("Pw1");

    QImage during;
    int gauge = -1;
    passwordDialog("Pw1", "Pw2", "OK", [&](TGetPassword &d) {
        d.show();
        d.OnProgress = [&] {
            if (during.isNull() && d.Gauge1->value() >= 40) {
                gauge = d.Gauge1->value();
                during = d.grab().toImage();
                EXPECT_TRUE(d.PassPanel->isHidden());
                EXPECT_FALSE(d.OkButton->isEnabled());
            }
        };
    });
    ASSERT_FALSE(during.isNull()) << "the dialog was never seen during the run";
    EXPECT_GE(gauge, 40);
    EXPECT_TRUE(
        during.save(QString::fromStdString((shots / "password_dialog_running.png").string())));
}

// A QN.INI that is a link (to a file elsewhere, to /dev/zero) is neither read
// nor written through: the defaults hold, the user is told once, and the
// file the link names is left as it is.
TEST_F(PreferencesTest, AQnIniThatIsALinkIsNeitherReadNorWrittenThrough)
{
    const fs::path elsewhere = dir / "elsewhere.ini";
    const std::string text = "[Default Font]\nName=Courier New\nSize=14\n";
    qn::test::writeFile(elsewhere, text);
    fs::create_symlink(elsewhere, ini());
    open();
    EXPECT_EQ(w->DefaultFontName, "Arial");
    EXPECT_EQ(w->DefaultFontSize, 10);
    ASSERT_EQ(capture.informations.size(), 1u);
    EXPECT_EQ(capture.informations[0].rfind("QN.INI is not read: it is a symbolic link", 0), 0u)
        << capture.informations[0];

    w->RunFontDialog = [](TDefaultFontDialog &d) {
        d.FontChooser->setCurrentFont(QFont(QStringLiteral("Liberation Serif"), 12));
        return true;
    };
    w->mnuDefaultFontClick();
    ASSERT_EQ(capture.informations.size(), 2u);
    EXPECT_EQ(capture.informations[1].rfind("The default font could not be stored in QN.INI", 0),
              0u)
        << capture.informations[1];
    EXPECT_TRUE(fs::is_symlink(ini()));
    EXPECT_EQ(qn::test::readFile(elsewhere), text);
}

TEST_F(PreferencesTest, AnEncryptedDiaryOffersToMergeItsCopiesOnceItsPasswordIsTyped)
{
    open();
    add(3);
    passwordDialog("", "s3cret");
    closeWindow();
    // The laptop's side, in clear: one day more.
    const fs::path laptop = dir / "laptop";
    fs::create_directories(laptop);
    {
        exchange::DiaryFolder other(laptop, "", exchange::DiaryFolder::CreateWhenMissing);
        other.Records().Store("20241224", "{\\rtf1 private laptop words}");
        other.Close();
    }
    const std::string stem = "QUILLNK (Someone's conflicted copy 2026-12-09)";
    fs::copy_file(laptop / "QUILLNK.DBF", dir / (stem + ".DBF"));
    fs::copy_file(laptop / "QUILLNK.FPT", dir / (stem + ".FPT"));
    fs::remove_all(laptop);

    int asked = 0;
    MergeQuestion() = [&](TMainScreen &, const QString &) {
        ++asked;
        return true;
    };
    open();
    QApplication::processEvents();
    EXPECT_EQ(asked, 0) << "nothing is told before the password is typed";
    unlock("s3cret");
    QApplication::processEvents();
    MergeQuestion() = {};
    EXPECT_EQ(asked, 1);
    const Strings all = entries();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_NE(all.back().find("private laptop words"), std::string::npos) << all.back();
    // The copy in clear went into Backups/, encrypted under the diary's password.
    EXPECT_FALSE(fs::exists(dir / (stem + ".DBF")));
    bool kept = false;
    for (const exchange::BackupInfo &b : exchange::ListBackups(dir.path()))
        if (b.Note.find("conflicted copy") != std::string::npos) {
            kept = true;
            for (const auto &e : fs::directory_iterator(b.Folder))
                EXPECT_EQ(qn::test::readFile(e.path()).find("private laptop words"),
                          std::string::npos)
                    << e.path();
        }
    EXPECT_TRUE(kept);
}
