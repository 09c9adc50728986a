#include "spell/dialog/spell_check_dialog.h"

#include "platform/modal_result.h"
#include "platform/program_dir.h"
#include "platform/qt/messages.h"
#include "platform/qt/qt_text.h"
#include "richtext/controls/rich_text.h"
#include "spell/dictionary_format.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include <filesystem>

namespace qn {

namespace {

QFont arialPixels(int pixels, bool bold)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QLineEdit *colouredEdit(QWidget *parent, const QString &name, const QColor &colour, QRect place)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setFont(arialPixels(11, true));
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, colour);
    edit->setPalette(palette);
    edit->setGeometry(place);
    return edit;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &text, QRect place)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setGeometry(place);
    b->setAutoDefault(false);
    return b;
}

QLabel *label(QWidget *parent, const QString &name, const QString &text, int left, int top)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    l->adjustSize();
    l->move(left, top);
    return l;
}

} // namespace

TSpellCheckDialog::TSpellCheckDialog(QWidget *parent,
                                     std::shared_ptr<spell::SpellingEngine> language)
    : QDialog(parent), Language(std::move(language))
{
    setWindowTitle(QStringLiteral("Spell Check"));
    setFont(arialPixels(11, false));
    // 389 x 208 with the frame of a dialog: the client area without it.
    setFixedSize(381, 181);

    Label1 =
        label(this, QStringLiteral("Label1"), QStringLiteral("Possible spelling error"), 14, 5);
    Word = colouredEdit(this, QStringLiteral("Word"), Qt::red, {134, 7, 200, 22});
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("Replace with"), 14, 37);
    ReplaceAs = colouredEdit(this, QStringLiteral("ReplaceAs"), Qt::blue, {134, 37, 200, 22});
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("Possible replacements"), 14, 68);
    WordList = new QListWidget(this);
    WordList->setObjectName(QStringLiteral("WordList"));
    WordList->setFont(arialPixels(11, true));
    WordList->setGeometry(134, 68, 200, 74);
    WordList->setUniformItemSizes(true);
    // What readers call the fields.
    Label1->setBuddy(Word);
    Label2->setBuddy(ReplaceAs);
    Label3->setBuddy(WordList);

    GetNextWordButton = button(this, QStringLiteral("GetNextWordButton"),
                               QStringLiteral("&Skip Word"), {8, 148, 82, 27});
    Replace =
        button(this, QStringLiteral("Replace"), QStringLiteral("&Replace"), {99, 148, 82, 27});
    Addbutton =
        button(this, QStringLiteral("Addbutton"), QStringLiteral("Add"), {191, 148, 82, 27});
    Cancel = button(this, QStringLiteral("Cancel"), QStringLiteral("&Cancel"), {282, 148, 82, 27});

    connect(GetNextWordButton, &QPushButton::clicked, this,
            &TSpellCheckDialog::GetNextWordButtonClick);
    connect(Replace, &QPushButton::clicked, this, &TSpellCheckDialog::ReplaceClick);
    connect(Addbutton, &QPushButton::clicked, this, &TSpellCheckDialog::AddbuttonClick);
    connect(Cancel, &QPushButton::clicked, this, &TSpellCheckDialog::CancelClick);
    connect(WordList, &QListWidget::itemClicked, this, &TSpellCheckDialog::WordListDblClick);
    connect(WordList, &QListWidget::itemDoubleClicked, this, &TSpellCheckDialog::WordListDblClick);

    FormCreate();
}

TSpellCheckDialog::~TSpellCheckDialog()
{
    // Freed before the close request arrived (the caller's modal loop ended).
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
}

void TSpellCheckDialog::FormCreate()
{
    FirstActivation = true;
    if (Language) {
        // The language's engine keeps its own user's words.
        Addbutton->setEnabled(true);
        return;
    }
    openMainDictionary();
    openUserDictionary();
}

void TSpellCheckDialog::openUserDictionary()
{
    const std::filesystem::path user = std::filesystem::path(ProgramDir()) / kUserDictionaryName;
    std::error_code error;
    int handle;
    if (std::filesystem::exists(user, error)) {
        handle = QnSpell1.OpenUserDictionary(user.string());
        if (handle <= 0)
            ShowInformationUtf8("The user dictionary " + user.string() +
                                " cannot be read; words cannot be added to it now. The file "
                                "is left as it is.");
    } else {
        handle = QnSpell1.CreateUserDictionary(user.string(), {});
        if (handle <= 0)
            ShowInformationUtf8("The user dictionary " + user.string() +
                                " cannot be created; words cannot be added.");
    }
    // A file that is no user dictionary (handle 0) takes no words either.
    UserDictionary = static_cast<int16_t>(handle > 0 ? handle : -1);
    Addbutton->setEnabled(UserDictionary != -1);
}

bool TSpellCheckDialog::isCorrect(std::string_view word)
{
    return Language ? Language->IsCorrect(word) : QnSpell1.IsCorrect(word);
}

std::vector<std::string> TSpellCheckDialog::suggest(std::string_view word)
{
    return Language ? Language->Suggest(word, QnSpell1.MaxSuggestions()) : QnSpell1.Suggest(word);
}

bool TSpellCheckDialog::addWord(const std::string &word)
{
    return Language ? Language->AddWord(word) : QnSpell1.AddWord(word, UserDictionary);
}

void TSpellCheckDialog::openMainDictionary()
{
    // Never from the current folder: a dictionary found there would be
    // whatever file happens to carry the name.
    QnSpell1.SetDictionaryName(std::string());
    const auto main = FindResourceFile(kMainDictionaryName);
    if (main && QnSpell1.OpenDictionary(main->string()))
        return;
    if (main) {
        MainDictionaryProblem = "The main dictionary " + main->string() +
                                " cannot be read; the spelling cannot be checked.";
        return;
    }
    std::string folders;
    for (const std::filesystem::path &dir : ResourceDirs())
        folders += "\n   " + dir.string();
    MainDictionaryProblem = std::string("The main dictionary ") + kMainDictionaryName +
                            " is missing, so the spelling cannot be checked. It was looked for "
                            "in:" +
                            folders;
}

void TSpellCheckDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    // Run once the window is up, from the event loop that shows it.
    if (FirstActivation)
        QMetaObject::invokeMethod(this, &TSpellCheckDialog::FormActivate, Qt::QueuedConnection);
}

void TSpellCheckDialog::FormActivate()
{
    if (!FirstActivation || closed_)
        return;
    FirstActivation = false;
    if (!MainDictionaryProblem.empty()) {
        // Every word would be unknown: say why instead of flagging them.
        hide();
        ShowInformationUtf8(MainDictionaryProblem);
        QMetaObject::invokeMethod(
            this, [this] { done(mrCancel); }, Qt::QueuedConnection);
        return;
    }
    if (Editor)
        Editor->ResetWords();
    CheckNextWord();
}

void TSpellCheckDialog::CheckNextWord()
{
    std::string word;
    WordList->clear();
    if (Editor) {
        for (;;) {
            word = Editor->NextWord();
            if (word.empty())
                break;
            if (!isCorrect(word)) {
                for (const std::string &suggestion : suggest(word))
                    WordList->addItem(AnsiToQString(suggestion));
                Editor->SelectWord();
                break;
            }
        }
    }
    Word->setText(AnsiToQString(word));
    ReplaceAs->setText(WordList->count() > 0 ? WordList->item(0)->text() : Word->text());
    if (word.empty()) {
        hide();
        ShowInformation(QStringLiteral("Spell check complete"));
        // A hidden dialog takes no close event: the request ends it directly.
        QMetaObject::invokeMethod(
            this, [this] { done(mrCancel); }, Qt::QueuedConnection);
    }
}

void TSpellCheckDialog::GetNextWordButtonClick()
{
    CheckNextWord();
}

void TSpellCheckDialog::ReplaceClick()
{
    if (!Editor || Word->text().isEmpty())
        return;
    const std::optional<std::string> replacement = QStringToAnsi(ReplaceAs->text());
    if (!replacement) {
        MessageBeep(0); // a character the entry cannot hold
        ReplaceAs->setFocus();
        return;
    }
    // Only the marked word is replaced; without a mark there is nothing to replace.
    if (Editor->SelLength() > 0)
        Editor->InsertText(*replacement);
    CheckNextWord();
    Editor->Repaint();
}

void TSpellCheckDialog::WordListDblClick()
{
    if (QListWidgetItem *item = WordList->currentItem())
        ReplaceAs->setText(item->text());
}

void TSpellCheckDialog::AddbuttonClick()
{
    if (!Word->text().isEmpty()) {
        const std::optional<std::string> word = QStringToAnsi(Word->text());
        if (word && !addWord(*word) && (Language || word->size() <= spell::kMaxWordLength))
            ShowInformationUtf8("\"" + Word->text().toStdString() +
                                "\" could not be added to the user dictionary.");
    }
    CheckNextWord();
}

void TSpellCheckDialog::CancelClick()
{
    done(mrAbort);
}

void TSpellCheckDialog::FormClose()
{
    if (Editor)
        Editor->HideSelection();
    QnSpell1.CloseDictionaries();
}

void TSpellCheckDialog::done(int result)
{
    if (!closed_) {
        closed_ = true;
        FormClose();
    }
    QDialog::done(result);
}

} // namespace qn
