// Preferences of the main window (QN.INI: the password and the default font
// of new entries), the unlock of a diary whose stored password does not fit
// its table, "Select or Change Password" and "Default Font".
#include "app/default_font_dialog.h"
#include "app/get_password.h"
#include "app/main_screen.h"

#include "engine/engine_files.h"
#include "engine/xtable.h"
#include "platform/file_lookup.h"
#include "platform/modal_result.h"
#include "platform/password_scramble.h"
#include "platform/profile.h"
#include "platform/qt/messages.h"

#include <QLineEdit>

namespace qn {

namespace {

constexpr const char *kSecurity = "Security";
constexpr const char *kDefaultFont = "Default Font";

// Sizes a font can have; anything else in the file is a damaged value.
bool usableSize(int points)
{
    return points >= 1 && points <= 1638;
}

} // namespace

std::filesystem::path TMainScreen::PreferencesFile() const
{
    return std::filesystem::path(diaryDir_) / "QN.INI";
}

void TMainScreen::LoadPreferences()
{
    TProfileFile ini(PreferencesFile(), engine::EngineFileSystem());
    // A QN.INI that is a link, a FIFO, a device or too large is not read:
    // the defaults hold, and the user hears why once.
    if (const std::string refused = ini.Unusable(); !refused.empty() && !preferencesRefusalShown_) {
        preferencesRefusalShown_ = true;
        ShowInformationUtf8(refused + ". The default settings are used, and changed settings "
                                      "cannot be stored until it is a plain file again.");
    }
    // While the file lags behind a password change it could not record,
    // the password in memory is the one the table is under.
    if (!preferencesBehind_) {
        DiaryPassword = ini.ReadString(kSecurity, "Password", "");
        if (!DiaryPassword.empty())
            DiaryPassword = Decryptstring(DiaryPassword);
    }
    DefaultFontName = ini.ReadString(kDefaultFont, "Name", "Arial");
    DefaultFontSize = ini.ReadInteger(kDefaultFont, "Size", 10);
    if (!usableSize(DefaultFontSize))
        DefaultFontSize = 10;
    DefaultFontBold = ini.ReadBool(kDefaultFont, "Bold", false);
    DefaultFontItalic = ini.ReadBool(kDefaultFont, "Italic", false);
    DefaultFontUnderline = ini.ReadBool(kDefaultFont, "Underline", false);
    DefaultFontColor = static_cast<uint32_t>(ini.ReadInteger(kDefaultFont, "Color", 0)) & 0xFFFFFF;
    setDefaultFontDialogFont();
    loadSpellingPreferences();
}

void TMainScreen::setDefaultFontDialogFont()
{
    QFont font(QString::fromStdString(DefaultFontName));
    font.setPointSize(DefaultFontSize);
    font.setBold(DefaultFontBold);
    font.setItalic(DefaultFontItalic);
    font.setUnderline(DefaultFontUnderline);
    DefaultFontdialogFont = font;
    DefaultFontdialogColor = DefaultFontColor;
}

void TMainScreen::SavePreferences()
{
    preferencesBehind_ = true;
    TProfileFile ini(PreferencesFile(), engine::EngineFileSystem());
    ini.WriteString(kSecurity, "Password",
                    DiaryPassword.empty() ? std::string() : EncryptString(DiaryPassword));
    DefaultFontName = DefaultFontdialogFont.family().toStdString();
    if (usableSize(DefaultFontdialogFont.pointSize()))
        DefaultFontSize = DefaultFontdialogFont.pointSize();
    DefaultFontBold = DefaultFontdialogFont.bold();
    DefaultFontItalic = DefaultFontdialogFont.italic();
    DefaultFontUnderline = DefaultFontdialogFont.underline();
    DefaultFontColor = DefaultFontdialogColor & 0xFFFFFF;
    ini.WriteString(kDefaultFont, "Name", DefaultFontName);
    ini.WriteInteger(kDefaultFont, "Size", DefaultFontSize);
    ini.WriteBool(kDefaultFont, "Bold", DefaultFontBold);
    ini.WriteBool(kDefaultFont, "Italic", DefaultFontItalic);
    ini.WriteBool(kDefaultFont, "Underline", DefaultFontUnderline);
    ini.WriteInteger(kDefaultFont, "Color", static_cast<int>(DefaultFontColor));
    preferencesBehind_ = false;
    setDefaultFontDialogFont();
}

bool TMainScreen::unlockRefusedKey(const std::string &typed)
{
    // The password from QN.INI does not open the table (a change was
    // interrupted before the file was written, or the file is gone): the
    // table is opened again under the typed one, which its key check
    // accepts or refuses.
    DiaryXTable->SetPassword(typed);
    if (!OpenDiaryFile()) {
        startFailed_ = true;
        ShowInformationUtf8(openFailure_);
        close();
        return true;
    }
    if (keyRefused_) {
        DiaryXTable->SetPassword(DiaryPassword);
        return false;
    }
    DiaryPassword = typed;
    try {
        SavePreferences();
    } catch (const std::exception &error) {
        ShowInformationUtf8(std::string("The diary is open, but QN.INI could not be written (") +
                            error.what() + ").");
    }
    HideAllThings(false);
    addSpeedButtons();
    CurrentDate = Date();
    RecordFound = false;
    FindDateRecord();
    LoadRichText();
    return true;
}

void TMainScreen::finishInterruptedClear()
{
    // A stored password with a table in clear: the password was being
    // removed when the program stopped, after the table was rewritten. The
    // table decides; the file follows once the old password was typed.
    if (DiaryPassword.empty() || !DiaryTable->Active() ||
        DiaryXTable->KeyState() != engine::TXTable::TKeyState::Clear)
        return;
    const std::string stored = DiaryPassword;
    DiaryPassword.clear();
    try {
        SavePreferences();
    } catch (const std::exception &) {
        DiaryPassword = stored; // the lock stays until the file can be written
    }
}

void TMainScreen::mnuSecurityClick()
{
    if (!SaveButtonClick())
        return;
    DiaryXTable->SetOrder(0);
    DiaryXTable->CloseIndexes();
    {
        TGetPassword dialog(*this, this);
        CenterOnMainScreen(&dialog);
        if (RunPasswordDialog)
            RunPasswordDialog(dialog);
        else
            dialog.exec();
    }
    auto index = FindFileNoCase(diaryDir_, "quillnk.cdx");
    try {
        if (!index)
            throw std::runtime_error("no index file");
        DiaryXTable->IndexOpen(index->string());
        if (DiaryXTable->TagArea("DATE") == 0)
            CreateDiaryIndex();
    } catch (const std::exception &) {
        // The index is derived from the entries: write it again.
        CreateDiaryIndex();
    }
    FindDateRecord();
}

void TMainScreen::mnuDefaultFontClick()
{
    LoadPreferences();
    bool ok = false;
    QFont font;
    uint32_t color = 0;
    {
        TDefaultFontDialog dialog(DefaultFontdialogFont, DefaultFontdialogColor, this);
        CenterOnMainScreen(&dialog);
        ok = RunFontDialog ? RunFontDialog(dialog) : dialog.exec() == QDialog::Accepted;
        font = dialog.ChosenFont();
        color = dialog.ChosenColor();
    }
    if (!ok)
        return;
    DefaultFontdialogFont = font;
    DefaultFontdialogColor = color;
    try {
        SavePreferences();
    } catch (const std::exception &error) {
        ShowInformationUtf8(std::string("The default font could not be stored in QN.INI (") +
                            error.what() + ").");
    }
}

} // namespace qn
