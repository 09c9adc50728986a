#pragma once

// The spell check dialog: walks the words of a rich text control, stops at
// each word no dictionary knows with the word marked in the control, offers
// ranked replacements, and skips, replaces or adds the word to the user's
// own dictionary. In English the main dictionary "quillnk.dct" is a
// read-only resource; the user dictionary "quillnku.dct" lives in the diary
// folder and is made when missing. In another language the dialog asks that
// language's engine (a Hunspell dictionary of the system with the user's own
// words of that language) and leaves the English dictionaries alone.

#include "spell/qnspell.h"
#include "spell/spelling_engine.h"

#include <QDialog>

#include <cstdint>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace qn {

class TQnCustomRichText;

inline constexpr const char *kMainDictionaryName = "quillnk.dct";
inline constexpr const char *kUserDictionaryName = "quillnku.dct";

class TSpellCheckDialog : public QDialog {
    Q_OBJECT

public:
    // Without a language engine the check is in English with the diary's
    // own dictionaries.
    explicit TSpellCheckDialog(QWidget *parent = nullptr,
                               std::shared_ptr<spell::SpellingEngine> language = nullptr);
    ~TSpellCheckDialog() override;

    // The control to check; not owned. Set before the dialog is shown.
    TQnCustomRichText *Editor = nullptr;
    bool FirstActivation = true;
    int16_t UserDictionary = -1; // -1 when it could be neither opened nor made
    // Why the main dictionary could not be opened (where it was looked
    // for); empty when it is open. Without it nothing is checked.
    std::string MainDictionaryProblem;

    QLabel *Label1, *Label2, *Label3;
    QLineEdit *Word;      // the unknown word
    QLineEdit *ReplaceAs; // its replacement
    QListWidget *WordList;
    QPushButton *GetNextWordButton, *Replace, *Addbutton, *Cancel;
    TQnSpell QnSpell1;
    // The engine of another language than English; null for English.
    std::shared_ptr<spell::SpellingEngine> Language;

    void FormCreate();
    void FormActivate();
    void CheckNextWord();
    void GetNextWordButtonClick();
    void ReplaceClick();
    void WordListDblClick();
    void AddbuttonClick();
    void CancelClick();
    void FormClose();

    // Every way of closing (the buttons, Escape, the close request at the
    // end of the walk, the frame's close box) passes here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void openMainDictionary();
    void openUserDictionary();
    bool isCorrect(std::string_view word);
    std::vector<std::string> suggest(std::string_view word);
    bool addWord(const std::string &word);
    bool closed_ = false;
};

} // namespace qn
