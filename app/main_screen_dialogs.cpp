// The main window's commands that open the editor's dialogs: the paragraph
// properties and the spell check of the entry on screen.
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
    TSpellCheckDialog dialog(this);
    dialog.Editor = QnRichText1;
    CenterOnMainScreen(&dialog);
    dialog.exec();
}

} // namespace qn
