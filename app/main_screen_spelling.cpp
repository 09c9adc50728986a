// Spelling while typing: Edit menu "Check Spelling as You Type" and
// "Spelling Language", both kept in QN.INI, and the engine the entry
// editor's marks use (the diary's own English dictionary or a Hunspell
// dictionary of the system, each with the user's own words).
#include "app/main_screen.h"

#include "engine/engine_files.h"
#include "platform/profile.h"
#include "platform/program_dir.h"
#include "platform/qt/messages.h"
#include "spell/dialog/spell_check_dialog.h"
#include "spell/spelling_engine.h"

#include <QAction>
#include <QActionGroup>
#include <QLocale>
#include <QMenu>

namespace qn {

namespace {

constexpr const char *kSpelling = "Spelling";

// "Deutsch (Deutschland)" for de_DE: the language's own name.
QString languageName(const std::string &code)
{
    const QLocale locale(QString::fromStdString(code));
    if (locale.language() == QLocale::C)
        return QString::fromStdString(code);
    QString name = locale.nativeLanguageName();
    if (!name.isEmpty())
        name[0] = name[0].toUpper();
    const QString territory = locale.nativeTerritoryName();
    return territory.isEmpty() ? name : name + QStringLiteral(" (") + territory + ')';
}

} // namespace

void TMainScreen::createSpellingMenus()
{
    mnuSpellAsYouType = new QAction(QStringLiteral("Check Spelling as &You Type"), mnuEdit);
    mnuSpellAsYouType->setCheckable(true);
    mnuSpellAsYouType->setChecked(true);
    mnuEdit->insertAction(EnterDate1, mnuSpellAsYouType);
    mnuSpellingLanguage = new QMenu(QStringLiteral("Spelling &Language"), mnuEdit);
    mnuEdit->insertMenu(EnterDate1, mnuSpellingLanguage);

    auto *group = new QActionGroup(mnuSpellingLanguage);
    auto add = [this, group](const QString &text, const std::string &code) {
        QAction *action = mnuSpellingLanguage->addAction(text);
        action->setCheckable(true);
        action->setData(QString::fromStdString(code));
        group->addAction(action);
        connect(action, &QAction::triggered, this, [this, code] { SetSpellingLanguage(code); });
    };
    add(QStringLiteral("English (diary dictionary)"), "");
    for (const auto &d : spell::InstalledDictionaries())
        add(languageName(d.Code) + QStringLiteral(" \u2013 ") + QString::fromStdString(d.Code),
            d.Code);
    connect(mnuSpellAsYouType, &QAction::triggered, this,
            [this](bool checked) { SetSpellAsYouType(checked); });
    // The engine is chosen once the diary's QN.INI is read.
}

void TMainScreen::loadSpellingPreferences()
{
    TProfileFile ini(PreferencesFile(), engine::EngineFileSystem());
    const bool on = ini.ReadBool(kSpelling, "AsYouType", true);
    std::string code = ini.ReadString(kSpelling, "Language", "");
    // The file is the user's: a code that is no plain name is no language.
    if (!code.empty() && !spell::IsPlainLanguageCode(code))
        code.clear();
    if (mnuSpellAsYouType)
        mnuSpellAsYouType->setChecked(on);
    // The preferences are read again by other commands (Default Font, the
    // password): a dictionary already open for the language is kept.
    if (code == SpellingLanguage && QnRichText1->SpellMarks->Engine()) {
        QnRichText1->SpellMarks->SetEnabled(on);
        return;
    }
    SpellingLanguage = code;
    applySpellingEngine();
}

void TMainScreen::saveSpellingPreferences()
{
    try {
        TProfileFile ini(PreferencesFile(), engine::EngineFileSystem());
        ini.WriteBool(kSpelling, "AsYouType", mnuSpellAsYouType->isChecked());
        ini.WriteString(kSpelling, "Language", SpellingLanguage);
    } catch (const std::exception &error) {
        ShowInformationUtf8(std::string("The spelling choice could not be stored in QN.INI (") +
                            error.what() + ").");
    }
}

void TMainScreen::SetSpellAsYouType(bool on)
{
    mnuSpellAsYouType->setChecked(on);
    QnRichText1->SpellMarks->SetEnabled(on);
    saveSpellingPreferences();
}

void TMainScreen::SetSpellingLanguage(const std::string &code)
{
    SpellingLanguage = spell::IsPlainLanguageCode(code) ? code : std::string();
    applySpellingEngine();
    saveSpellingPreferences();
}

void TMainScreen::applySpellingEngine()
{
    if (!mnuSpellingLanguage)
        return;
    const std::filesystem::path folder(ProgramDir());
    std::shared_ptr<spell::SpellingEngine> engine;
    if (!SpellingLanguage.empty()) {
        for (const auto &d : spell::InstalledDictionaries())
            if (d.Code == SpellingLanguage)
                engine = spell::MakeHunspellEngine(
                    d.Base, (folder / ("quillnku-" + d.Code + ".txt")).string());
        if (!engine)
            SpellingLanguage.clear(); // not installed (any more): English
    }
    if (!engine) {
        const auto main = FindResourceFile(kMainDictionaryName);
        engine = spell::MakeOwnDictionaryEngine(main ? main->string() : std::string(),
                                                (folder / kUserDictionaryName).string());
    }
    for (QAction *action : mnuSpellingLanguage->actions())
        action->setChecked(action->data().toString().toStdString() == SpellingLanguage);
    QnRichText1->SpellMarks->SetEngine(std::move(engine));
    QnRichText1->SpellMarks->SetEnabled(mnuSpellAsYouType->isChecked());
}

} // namespace qn
