// The main window's commands that open the editor's dialogs: the paragraph
// properties and the spell check of the entry on screen.
#include "app/main_screen.h"

#include "richtext/controls/paragraph_prop_dlg.h"
#include "spell/dialog/spell_check_dialog.h"

namespace qn {

namespace {

// The entry editor, once the window holds the real control (null before).
TQnCustomRichText *entryEditor(QWidget *widget)
{
    return RichTextOf(widget);
}

} // namespace

void TMainScreen::ParagraphSetupButtonClick()
{
    TParagraphPropDlg dialog(this);
    dialog.Editor = entryEditor(QnRichText1);
    CenterOnMainScreen(&dialog);
    dialog.exec();
}

void TMainScreen::SpellCheck1Click()
{
    TQnCustomRichText *editor = entryEditor(QnRichText1);
    if (!editor)
        return;
    TSpellCheckDialog dialog(this);
    dialog.Editor = editor;
    CenterOnMainScreen(&dialog);
    dialog.exec();
}

} // namespace qn
