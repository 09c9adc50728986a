// The main window's commands that open the editor's dialogs: the paragraph
// properties and the spell check of the entry on screen (in the chosen
// spelling language).
#include "app/main_screen.h"

#include "richtext/controls/paragraph_prop_dlg.h"
#include "spell/dialog/spell_check_dialog.h"

namespace qn {

void TMainScreen::ParagraphSetupButtonClick()
{
    TParagraphPropDlg dialog(this);
    dialog.Editor = QnRichText1;
    CenterOnMainScreen(&dialog);
    dialog.exec();
}

void TMainScreen::SpellCheck1Click()
{
    // In another language than English the dialog shares the marks' engine,
    // so that a word added in one is known to the other at once.
    std::shared_ptr<spell::SpellingEngine> language;
    if (!SpellingLanguage.empty())
        language = QnRichText1->SpellMarks->SharedEngine();
    TSpellCheckDialog dialog(this, language);
    dialog.Editor = QnRichText1;
    CenterOnMainScreen(&dialog);
    dialog.exec();
    // Words added to the user's dictionary are marked no more.
    QnRichText1->SpellMarks->Forget();
}

} // namespace qn
