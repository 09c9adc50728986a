#pragma once

// TQnCustomRichText: the editor control with everything the application
// calls on it. Loading and saving (also by file dialog), text, cursor and
// selection access, attributes, search and replace through the program's
// find and replace dialogs, printing with page headers and footers, the
// links to a formatting tool bar, a ruler, a status bar or label and
// external scroll bars, and the texts it shows there in English or German.
// TQnRichText is the same control as the forms place it.

#include <QLabel>
#include <QPointer>
#include <QScrollBar>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "richtext/controls/find_replace_dialog.h"
#include "richtext/controls/rich_text_links.h"
#include "richtext/controls/rich_text_set_mode.h"
#include "richtext/controls/rich_text_texts.h"
#include "richtext/controls/rtf_edit.h"
#include "richtext/controls/spell_marks.h"

namespace qn {

class TQnPrintTarget;
class TQnCustomRichText;

// Formats of loading and saving, numbered as the document stores them.
enum TQnLoadFormat : uint8_t {
    AutomaticFormat = 0,
    LastFormat = 1,
    FormatRTF = 2,
    FormatANSI = 3,
    FormatHTML = 4,
};

// What a protected position is (the document's protection options).
enum TProtectProp : uint8_t {
    ppProtected = 0x01,
    ppHidden = 0x02,
    ppIsInsertpoint = 0x04,
    ppAutomatic = 0x08,
    ppIsInvisible = 0x10,
    ppParProtected = 0x20,
};

// Result codes of opening, saving and closing by dialog (the document's ErrorState).
enum : uint8_t {
    kResultOk = 0,
    kResultFailed = 7,
    kResultCancelled = 9,
    kResultNoDialog = 10,
    kResultRefused = 11,
};

// The font of the current attribute; changing it changes the attribute.
class TQnRichTextFont {
public:
    explicit TQnRichTextFont(TQnCustomRichText &owner) : owner_(owner) {}
    std::string Name;
    int Size = 10;
    ColorRef Color = 0;
    bool Bold = false, Italic = false, Underline = false, StrikeOut = false;

    void SetName(const std::string &name);
    void SetSize(int points);
    void SetColor(ColorRef color);
    void SetStyle(bool bold, bool italic, bool underline, bool strikeOut);

private:
    void writeBack();
    TQnCustomRichText &owner_;
};

class TQnCustomRichText : public TQnCustomRtfEdit, public TQnFindTarget {
    Q_OBJECT

public:
    explicit TQnCustomRichText(QWidget *parent = nullptr);
    ~TQnCustomRichText() override;

    // ---- Owned parts ----
    std::unique_ptr<TQnTextFinder> DialogFinder; // searches for the dialogs
    std::unique_ptr<TQnRichTextSetMode> SetMode;

    // ---- Properties ----
    TQnRTFTextInput &RtfText() { return *Document; }
    // Engine-wide: the last control that sets it wins.
    TQnToolLanguage Language() const { return EngineLanguage(); }
    void SetLanguage(TQnToolLanguage language);
    TQnMemoryFormat MemoryFormat() const { return Document->MemoryFormat(); }
    void SetMemoryFormat(TQnMemoryFormat format);
    TQnLoadFormat LoadFormat() const { return TQnLoadFormat(Document->LoadFormat); }
    void SetLoadFormat(TQnLoadFormat format) { Document->LoadFormat = format; }
    TQnLoadFormat SaveFormat() const { return TQnLoadFormat(Document->SaveFormat); }
    void SetSaveFormat(TQnLoadFormat format) { Document->SaveFormat = format; }
    int Zooming() const { return Document->Zooming; }
    // A value <= 0 sets 100.
    void SetZooming(int percent);
    int Resizing() const { return Document->Resizing; }
    void SetResizing(int percent);
    bool Inserting() const { return Document->InsertMode != 0; }
    void SetInserting(bool on);
    TStoreHTMLComment HTMLStoreComment() const { return Document->HtmlComments; }
    void SetHTMLStoreComment(TStoreHTMLComment how) { Document->HtmlComments = how; }
    QString HTMLFilePath() const { return QString::fromStdString(Document->PictureDirectory); }
    void SetHTMLFilePath(const QString &path) { Document->PictureDirectory = path.toStdString(); }
    bool PaintGrayTable() const { return Document->PaintGrayTable; }
    void SetPaintGrayTable(bool on);
    uint8_t ProtectedProp() const { return Document->ProtectOptions; }
    void SetProtectedProp(uint8_t props) { Document->ProtectOptions = props; }
    bool WriteBitmapAsDib() const { return Document->DibOnly; }
    void SetWriteBitmapAsDib(bool on) { Document->DibOnly = on; }

    // ---- Links (not owned; cleared when the linked object goes) ----
    TQnToolBarLink *QnToolBar() const { return toolBar_; }
    void SetQnToolBar(TQnToolBarLink *bar);
    TQnRulerControlLink *QnRuler() const { return ruler_; }
    void SetQnRuler(TQnRulerControlLink *ruler);
    TQnStatusBarLink *StatusBar() const { return statusBar_; }
    void SetStatusBar(TQnStatusBarLink *bar);
    QLabel *StatusLabel() const { return statusLabel_; }
    void SetStatusLabel(QLabel *label) { statusLabel_ = label; }
    QScrollBar *ExternVerScrollBar() const { return externVer_; }
    void SetExternVerScrollBar(QScrollBar *bar);
    QScrollBar *ExternHorScrollBar() const { return externHor_; }
    void SetExternHorScrollBar(QScrollBar *bar);
    // A linked component announces it goes away; the matching link is cleared.
    void RemoveLink(const void *component);

    QString FileName; // the file last loaded or saved
    bool HiddenToggle() const { return SetMode->HiddenToggle; }

    // ---- Events; each is called only when set ----
    using TNotify = std::function<void(TQnCustomRichText *sender)>;
    using TPrintBand = std::function<void(TQnCustomRichText *sender, Canvas &prCanvas, int x, int y,
                                          int w, int h, int PageNumber, int LineNumber)>;
    TNotify StartSpellCheck, OnXPosChanged, OnYPosChanged;
    TPrintBand PrintHeader, PrintFooter;
    // The text of a protected run (and its field tag) that an edit ran into.
    std::function<void(TQnCustomRichText *sender, const std::string &text, int tag)>
        OnProtectedChange;
    // Asked for the graphic of an object the document names but does not hold.
    std::function<void(int tag, TQnObject &object)> ProvideObjectEvent;
    // Asked by FillInsertPoints for the automatic text of each insert point:
    // p its paragraph, text the automatic text behind it (changed in place),
    // lenOfAutoText how many of the old characters the new text replaces, tag
    // the field number, c the marker character; doContinue false stops.
    std::function<void(TQnCustomRichText *sender, TParagraph *p, std::string &text,
                       int &lenOfAutoText, int tag, char c, bool &doContinue)>
        GetTextToInsert;
    // Asked for the picture of an HTML image (src as the page names it) while
    // HTML is read; an empty bitmap lets the reader load the file itself.
    std::function<void(TQnCustomRichText *sender, const std::string &src, QImage &bitmap)>
        OnHTMLBitmapRequest;

    // ---- Text and files ----
    void LoadFromFile(const QString &name);
    void SaveToFile(const QString &name);
    // Windows-1252 text or RTF; empty clears the document.
    void SetText(const std::string &text);
    // Types Windows-1252 characters at the cursor, repainting once.
    void TypeText(const std::string &characters);
    using TQnCustomRtfEdit::TypeText;
    void LoadFromStream(TQnStream &stream);
    void SaveToStream(TQnStream &stream);
    void Clear();
    bool IsEmpty() const { return Document->IsEmpty(); }
    // Fills every insert point with the text GetTextToInsert gives it; the
    // document is laid out again. Returns how many changed their text.
    int FillInsertPoints();

    // ---- Cursor and selection (absolute positions) ----
    int GetCursorOffset() const;
    void SetCursorOffset(int offset);
    void SetSelection(int start, int length);
    int SelStart() const;
    int SelLength() const;
    void SetSelStart(int offset);
    void SetSelLength(int length);
    void SelectAll();
    void HideSelection();
    // Replaces the selection by text (at most 255 characters), which then
    // becomes the selection; empty text only deletes the selection.
    void InsertText(const std::string &text);

    // ---- Attributes ----
    TCharAttr GetCurrentAttr() const { return Document->CurrentAttr; }
    TCharAttr AttrAtCursor();
    void ApplyAttr(const TCharAttr &attr);
    TQnRichTextFont &GetFont();

    // ---- Characters ----
    char32_t CharAtCursor() const;
    bool NextChar();

    // ---- Search ----
    bool FindText(const std::string &text, bool backwards);
    void ShowFindDialog();
    void ShowReplaceDialog();
    void DialogFind(TQnFindDialog &dialog) override;
    void DialogReplace(TQnFindDialog &dialog, bool all) override;

    // ---- Printing ----
    // Prints the document on the current printer; false when the job could
    // not start or was aborted. The screen state comes back in every case.
    bool Print();
    // The same on given pages (tests, print previews).
    bool PrintOn(TQnPrintTarget &target);
    // Stops a print run at the next line (from a header or footer handler).
    void AbortPrint() { abortPrint_ = true; }
    void PrinterSetup();
    int PrintLines(Canvas &canvas, int x, int mode, int firstLine, int height, int width, int y);

    // ---- Layout ----
    void Reformat();
    void ReformatAll();
    // Twips; -1000 keeps a value.
    void SetPageLayout(int marginLeft, int marginRight, int marginTop, int marginBottom,
                       int pageWidth, int pageHeight);
    void SetParagraphSpacing(int before, int lineSpacing, int after);
    void SetParagraphIndents(int first, int left, int right);
    int FontIndexOf(const std::string &name);

    // ---- Words for the spell checker ----
    void ResetWords();
    std::string NextWord();
    void SelectWord();

    // ---- For the diary's printing and page breaks ----
    void AssignHeader(TQnCustomRichText &other);
    void SetParagraphFromProps(const TParProps &props);

    void ShowStatus(const QString &text);

    // ---- Tool bar, ruler ----
    // An icon pressed (snIconDown) or released (snIconUp).
    void ToolBarIcon(int typ, int group, int number);
    // A list choice: font name (text), size, text or background colour (number).
    void ToolBarList(int typ, const std::string &text, int number);
    // A tab slot bit to add to or remove from the selected paragraphs.
    void RulerTab(uint32_t mask, bool remove);
    // The header's ruler indents moved; changing while the drag goes on.
    void RulerIndents(bool changing);

    // ---- Opening, saving and closing by dialog ----
    void OpenFile();
    void SaveFileAs();
    void SaveFile();
    void CloseFile();
    int LastResult() const { return Document->ErrorState; }
    // Replaces the file dialogs (tests): the chosen name, empty for cancel,
    // nullopt when no dialog could be made.
    using TFileDialogHook = std::function<std::optional<QString>(bool save, const QString &filter)>;
    static TFileDialogHook SetFileDialogHook(TFileDialogHook hook);

    // Pushes the state at the cursor into the tool bar and the ruler.
    void FollowCursor();

    // ---- Overrides ----
    void EditStateChanged() override;
    void SelectAllText() override { SelectAll(); }
    void UpdateHorzScrollBar() override;
    void UpdateVertScrollBar() override;
    void Changed() override;

    // Spelling marks while typing; none until an engine is set on them.
    std::unique_ptr<TQnSpellMarks> SpellMarks;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void PaintOverlay(QPainter &painter, const QPoint &clientTopLeft, const QRect &dirty) override;
    void AddContextMenuItems(QMenu &menu, QPoint at) override;

private:
    class AttrFollower;
    void bindLinks();
    void bindStatusBar();
    void updateExternBars();
    void showProgress(int textOffset);
    void afterEdit(bool changed);
    bool checkEdit(bool needsBlock);
    void placeMatch(int position, int length, bool cursorAfter);
    void replaceAll(TQnFindDialog &dialog, const std::u32string &pattern,
                    const std::u32string &replacement);
    void applyDefaultFontAsAttr();

    std::unique_ptr<AttrFollower> follower_;
    TQnToolBarLink *toolBar_ = nullptr;
    TQnRulerControlLink *ruler_ = nullptr;
    TQnStatusBarLink *statusBar_ = nullptr;
    QPointer<QLabel> statusLabel_;
    QPointer<QScrollBar> externVer_, externHor_;
    bool updatingExtern_ = false;
    TQnRichTextFont font_;
    std::string searchText_;
    bool searchBackwards_ = false;
    bool wordSelected_ = false;
    int wordStart_ = 0, wordLength_ = 0;
    bool abortPrint_ = false;
};

// The control with its properties published, as the forms place it.
class TQnRichText : public TQnCustomRichText {
    Q_OBJECT

public:
    explicit TQnRichText(QWidget *parent = nullptr) : TQnCustomRichText(parent) {}
};

} // namespace qn
