#pragma once

// TQnCustomRtfEdit: the window in which one document is shown and edited.
// It owns the document, its caret, a finder and a line view, turns keys,
// characters, input-method text, the mouse, focus, size and scroll-bar
// actions into calls on the document, and raises the control's events.
//
// Painting follows the Windows manner the document layers were written for:
// the document paints at any time into a backing image through a QtCanvas,
// and paintEvent only copies that image to the screen and draws the caret,
// the selected object's frame and the focus frame over it.
//
// Text crosses into the document as Windows-1252. Characters the code page
// cannot hold are refused with a beep, so nothing garbled is ever stored.

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/border_style.h"
#include "platform/canvas.h"
#include "platform/keys.h"
#include "richtext/controls/input_method_preedit.h"
#include "richtext/edit/rtf_text_input.h"
#include "richtext/edit/text_finder.h"
#include "richtext/edit/undo_history.h"
#include "richtext/io/rtf_strings.h"
#include "richtext/model/caret.h"

class QScrollBar;
class QMimeData;
class QMenu;
class QKeyEvent;
class QDrag;

class QPainter;

namespace qn {

class QtCanvas;

enum class TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

class TQnCustomRtfEdit : public QWidget, protected TCaretDevice {
    Q_OBJECT

public:
    explicit TQnCustomRtfEdit(QWidget *parent = nullptr);
    ~TQnCustomRtfEdit() override;

    // ---- Owned parts (destroyed in the reverse order: line view, finder,
    // caret, document) ----
    std::unique_ptr<TQnRTFTextInput> Document;
    std::unique_ptr<TCaret> Caret;
    std::unique_ptr<TQnTextFinder> Finder;
    std::unique_ptr<TQnRtfStrings> Strings;

    // ---- Properties ----
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);
    TScrollStyle ScrollBars() const { return scrollBars_; }
    void SetScrollBars(TScrollStyle bars);
    bool WordWrap() const { return Document->WrapToWindow != 0; }
    void SetWordWrap(bool on);
    bool ShowPageBreak() const { return !(Document->PaintFlags & kPaintNoAutoBreakMarks); }
    void SetShowPageBreak(bool on);
    bool ReadOnly() const { return Document->ReadOnly; }
    // Turning read-only ends what an input method is composing.
    void SetReadOnly(bool on);
    bool CaretDisabled() const { return caretDisabled_; }
    void SetCaretDisabled(bool on);
    // The control's Color; also the paper of the document.
    ColorRef Color() const { return color_; }
    void SetColor(ColorRef color);
    // The colour of the control's font (QFont carries none).
    ColorRef FontColor() const { return fontColor_; }
    void SetFontColor(ColorRef color);

    bool WantTabs = true;
    Qt::CursorShape HyperLinkCursor = Qt::ArrowCursor;
    bool OneClickHyperlink = false;
    bool DragAndDropSupport = false;
    bool NoBlockMarking = false;
    bool Modified = false;

    // ---- Events; each is called only when set ----
    std::function<void(TQnCustomRtfEdit *sender)> OnChange;
    std::function<void(TQnCustomRtfEdit *sender, bool selectionMarked, bool clipboardNotEmpty)>
        EditStateEvent;
    std::function<void(TQnCustomRtfEdit *sender)> CtrlTabPressed;
    std::function<void(TQnCustomRtfEdit *sender)> ShiftTabPressed;
    std::function<void(TQnCustomRtfEdit *sender)> SaveForUNDO;
    // The link text and the hidden stamp after it, Windows-1252.
    std::function<void(TQnCustomRtfEdit *sender, const std::string &text, const std::string &stamp,
                       int lineNumber)>
        HyperLinkEvent;
    // Before the key table; setting key to 0 consumes the key.
    std::function<void(TQnCustomRtfEdit *sender, TKey &key, TShiftState shift)> OnKeyDown;
    // Before a character is typed; setting it to 0 consumes it.
    std::function<void(TQnCustomRtfEdit *sender, char &key)> OnKeyPress;
    // An embedded object's own click handler: true when it handled the click.
    std::function<bool(TQnCustomRtfEdit *sender, TQnObject &object)> ObjectClick;
    // An embedded control object was given a new size (pixels).
    std::function<void(TQnCustomRtfEdit *sender, TQnObject &object, int width, int height)>
        ObjectResized;

    // ---- Virtual operations ----
    // Raises EditStateEvent (selection marked, clipboard holds text).
    virtual void EditStateChanged();
    virtual void UpdateHorzScrollBar();
    virtual void UpdateVertScrollBar();
    // False when read-only or the document is not ready; else sets Modified.
    virtual bool BeginEdit();
    virtual void Changed();
    // Empty hooks for derived controls: tool bar icons and lists, ruler.
    virtual void UpdateToolBarIcons() {}
    virtual void UpdateToolBarLists() {}
    virtual void UpdateRulerIndents() {}
    virtual void UpdateRulerTabs() {}
    virtual void UpdateStatus() {}
    // Deletes the marked block and shows the caret.
    virtual void DeleteSelection();
    // Removes the block without touching text.
    virtual void ClearSelection();
    virtual void CopyToClipboard();
    virtual void CutToClipboard();
    virtual void PasteFromClipboard();
    // Selects the whole text.
    virtual void SelectAllText();
    // Bold, italic or underline on for the selection (or the typing
    // attribute) unless its first character has it already, else off.
    void ToggleStyle(uint16_t bits);
    // Deletes from the cursor to the next (or previous) word start, or the
    // selection when there is one.
    void DeleteWord(bool forward);
    // Pastes a clipboard's contents at the cursor, replacing the selection:
    // RTF, then HTML, then text, then a picture. A paste that cannot be read
    // changes nothing and tells the user why; false then, or when there was
    // nothing to paste.
    bool PasteMimeData(const QMimeData *data);
    // PasteFromClipboard with given data (the primary selection, a drop):
    // one change notification when something was pasted, none otherwise.
    void PasteFromClipboardData(const QMimeData *data);
    // Whether data holds anything PasteMimeData can read.
    static bool CanPaste(const QMimeData *data);
    // The selection in every format the clipboard offers; null without one.
    QMimeData *SelectionMimeData();

    // The selection as a drag from this control carries it.
    QMimeData *DragMimeData();
    // Runs a drag instead of QDrag::exec (tests); answers the action done.
    using TDragRunner = std::function<Qt::DropAction(QDrag &drag, Qt::DropActions actions)>;
    static TDragRunner SetDragRunner(TDragRunner runner);

    // The context menu for the current state (the caller owns it); `at` (in
    // client coordinates) is where the right click was, for the items a
    // derived control adds for the text there.
    QMenu *CreateContextMenu(QPoint at = QPoint(-1, -1));

    // ---- Undo and redo ----
    // Every change of the document is one step of a bounded history that
    // belongs to the document on screen; loading another document clears it.
    bool CanUndo() const;
    bool CanRedo() const;
    // Takes back (puts again) one step: text, formatting and selection come
    // back, and the control reports a change as for any edit.
    void Undo();
    void Redo();
    // Forgets every step (another document was loaded).
    void ClearUndo();
    UndoHistory &History() { return *undo_; }

    // One edit of the document as one step of the history: made before the
    // edit changes anything, destroyed after it. A record made while another
    // is alive belongs to the outer one.
    class UndoRecord {
    public:
        // The paragraphs of the selection (or the cursor's), widened by
        // `before` and `after` paragraphs.
        UndoRecord(TQnCustomRtfEdit &edit, UndoKind kind, int before = 1, int after = 1);
        // Paragraphs [first, last] by index; last < 0: to the end.
        UndoRecord(TQnCustomRtfEdit &edit, int first, int last);
        // The whole document (replace all and the like).
        static UndoRecord WholeDocument(TQnCustomRtfEdit &edit) { return {edit, 0, -1}; }
        ~UndoRecord();
        UndoRecord(const UndoRecord &) = delete;
        UndoRecord &operator=(const UndoRecord &) = delete;

    private:
        TQnCustomRtfEdit &edit_;
        bool outer_;
    };

    // Appends the whole document of another control. Throws
    // std::invalid_argument "Cannot perform FastAppendText(self)" for itself.
    void FastAppendText(TQnCustomRtfEdit &source);

    // Text typed by the user (key text or input-method commit) on its one
    // path into the document; false when refused (read-only).
    bool TypeText(const QString &text);

    // ---- Helpers for derived controls and tests ----
    // The area the document is shown in, in widget coordinates.
    QRect ClientRect() const;
    const QImage &BackingImage() const { return backing_; }
    QScrollBar *VerticalBar() const { return vBar_; }
    QScrollBar *HorizontalBar() const { return hBar_; }
    // The caret as drawn (widget coordinates); empty when it is not shown.
    QRect CaretRect() const;
    bool CaretShown() const { return caretShown_; }
    bool BlockMarked() const;
    // Whole text with paragraphs joined by '\n', and the cursor's place in it.
    QString PlainText() const;
    int CursorAbsolutePosition() const;
    // The selected embedded object, if any.
    TQnObject *SelectedObject() const { return selectedObject_; }
    // Repaints the whole document into the backing image.
    void Repaint();

    // What the input method asks about the text at the cursor.
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    // The text an input method is composing, as shown at the caret, and
    // where it is drawn (widget coordinates); empty while none is shown.
    QString PreeditText() const;
    QRect PreeditRect() const;

    // Both clipboard formats this control reads and writes.
    static const char *const kRtfMimeTypes[2];

signals:
    // CanUndo or CanRedo may have changed.
    void UndoStateChanged();

protected:
    // Key table; key becomes 0 when it was handled.
    virtual void KeyDown(TKey &key, TShiftState shift);
    // A character after the keyboard layout (Windows-1252, or a control code).
    virtual void KeyPress(char key);

    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    // Draws over the editor's picture on the screen only (never printed).
    virtual void PaintOverlay(QPainter &, const QPoint & /*clientTopLeft*/, const QRect & /*dirty*/)
    {
    }
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    // Items of a derived control put at the top of the context menu (the
    // spelling suggestions for a marked word).
    virtual void AddContextMenuItems(QMenu &, QPoint) {}
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

    // TCaretDevice: a caret drawn over the backing image.
    void CreateCaret(int width, int height) override;
    void DestroyCaret() override;
    void SetCaretPos(int x, int y) override;
    void ShowCaret() override;

private:
    // ---- Set-up and painting ----
    void bindDocument();
    void layoutClient();
    void resizeBacking();
    void afterPaint();
    void placeCaret();
    void applyFont();
    QPoint clientOrigin() const;
    int frameWidth() const { return borderStyle_ == TBorderStyle::bsSingle ? 2 : 0; }

    // ---- Keys (rtf_edit_keys.cpp) ----
    using KeyHandler = void (TQnCustomRtfEdit::*)(TShiftState shift);
    static KeyHandler keyHandler(TKey key);
    void keyTab(TShiftState shift);
    void keyEnter(TShiftState shift);
    void keyPageUp(TShiftState shift);
    void keyPageDown(TShiftState shift);
    void keyEnd(TShiftState shift);
    void keyHome(TShiftState shift);
    void keyLeft(TShiftState shift);
    void keyRight(TShiftState shift);
    void keyUp(TShiftState shift);
    void keyDown(TShiftState shift);
    void keyInsert(TShiftState shift);
    void keyDelete(TShiftState shift);
    void move(int kind, TShiftState shift);
    static bool isCtrlCommandKey(TKey key);
    bool ctrlCommand(TKey key, TShiftState shift);
    void keepCaretLineInView();
    // Types Windows-1252 characters after BeginEdit, then Changed.
    void typeChars(const std::string &ansi);
    void typeChars(const std::u32string &text);
    bool keyEventCharacter(const QKeyEvent &event, TKey key, TShiftState shift, char &code,
                           QString &text) const;

    // ---- Mouse (rtf_edit_mouse.cpp) ----
    void buttonDown(QPoint at, TShiftState shift, bool doubleClick);
    bool clickHandling(QPoint at, bool doubleClick);
    bool clickObject(QPoint at);
    bool clickHyperlink(QPoint at);
    void selectWordAt(QPoint at);
    void dragTo(QPoint at);
    // Paints the lines between the cursor line before a change and now.
    void repaintSelectionChange(const TLine *before, int scrollY);
    void resizeObjectTo(QPoint at);
    void hoverAt(QPoint at);
    bool overResizeHandle(QPoint at) const;
    void autoScrollStep();
    // Character under a client point (not the caret position): false when none.
    bool charAt(QPoint at, TParagraph *&paragraph, TLine *&line, int &index);
    int lineNumberOf(const TLine *line) const;
    void selectObject(TQnObject *object);
    void cursorPlacedByMouse();

    // ---- Scroll bars (rtf_edit_scroll.cpp) ----
    void vBarAction(int action);
    void hBarAction(int action);
    // Both bars brought up to date with the document.
    void barsChanged();
    // Reads RTF into paragraphs of their own behind the last one.
    void appendParagraphsOf(TQnStream &rtf);
    // The client area after a bar appeared or disappeared.
    void settleBars();

    // ---- Clipboard (rtf_edit_clipboard.cpp) ----
    // Reads data into a scratch document first; false (with the reason)
    // when it cannot be read.
    // utf8: plain text in UTF-8 rather than the code page.
    bool insertStream(const std::string &bytes, int format, std::string &why, bool utf8 = false);
    bool insertPicture(const QImage &image, std::string &why);
    // After an insertion: layout, caret, bars, edit state.
    void afterInsertion();
    void pastePrimarySelection(QPoint at);
    void offerPrimarySelection();

    // ---- Drag and drop (rtf_edit_drag.cpp) ----
    bool pressInSelection(QPoint at);
    bool dragPastThreshold(QPoint at) const;
    QByteArray ownDragMark() const;
    bool isOwnDrag(const QMimeData *data) const;
    void startDrag();
    // Drops data at a client point; own: dragged from this control, whose
    // block then moves (move) or is copied.
    bool dropAt(QPoint at, const QMimeData *data, bool own, bool move);
    // Inserts dropped files at the cursor; false (and why) when none went in.
    bool dropFiles(const QMimeData *data);

    // ---- Input method (rtf_edit_input_method.cpp) ----
    bool preeditShown() const;
    // The look of typed text: the entry's current font at the document's size.
    QFont typingFont() const;
    QColor typingColor() const;
    QColor typingPaper() const;
    // The pre-edit's box and the band of the caret line it shares (client
    // coordinates); false when nothing is shown.
    bool preeditPlace(QRect &box, QRect &band, int &baseline) const;
    // Where typing goes on (client coordinates): the caret, or the
    // pre-edit's cursor while one is shown; drawn unless the input method
    // hides its cursor.
    QRect inputCaretRect() const;
    QRect drawnCaretRect() const;
    void paintPreedit(QPainter &painter, const QPoint &clientTopLeft);
    // Repaints where the pre-edit was and where it is now.
    void updatePreeditArea();
    // Commit text and the surrounding text it replaces, as the input method
    // asks; refused text changes nothing.
    void commitInput(const QInputMethodEvent &event);
    bool selectReplacement(int start, int length);
    void selectSurrounding(int start, int length);
    // Ends composing before the caret is moved by the mouse.
    void finishComposing();

    InputMethodPreedit preedit_;
    QRect preeditArea_; // client coordinates, last repainted for the pre-edit

    // ---- Undo (rtf_edit_undo.cpp) ----
    // Brings the control up to date with a document undo or redo rebuilt.
    void afterUndo();
    // Closes the step of an edit that spans events (an object resize).
    void finishUndoStep();

    friend class RtfEditAccessible;
    // What assistive technology was last told: the text and the selection.
    QString accessibleText_;
    bool accessibleTextKnown_ = false;
    int accessibleSelStart_ = 0, accessibleSelEnd_ = 0;

    std::unique_ptr<UndoHistory> undo_;
    int undoDepth_ = 0;

    TBorderStyle borderStyle_ = TBorderStyle::bsSingle;
    TScrollStyle scrollBars_ = TScrollStyle::ssBoth;
    bool caretDisabled_ = false;
    ColorRef color_ = kSysColorWindow;
    ColorRef fontColor_ = 0;

    QImage backing_;
    std::unique_ptr<QtCanvas> canvas_;
    QScrollBar *vBar_ = nullptr;
    QScrollBar *hBar_ = nullptr;
    bool settlingBars_ = false;
    int wheelRemainder_ = 0;
    int hWheelRemainder_ = 0;

    // Caret as drawn.
    QRect caretRect_;
    bool caretCreated_ = false;
    bool caretShown_ = false;
    bool caretBlinkOn_ = true;
    QTimer blinkTimer_;

    // Mouse state.
    bool buttonHeld_ = false;
    bool resizingObject_ = false;
    bool hyperlinkCursorShown_ = false;
    QPoint pressPoint_;
    QPoint lastMousePoint_;
    QTimer autoScrollTimer_;
    // Offers a selection made by keys to the primary selection once the
    // keys rest.
    QTimer primaryTimer_;
    TQnObject *selectedObject_ = nullptr;
    QRect selectedObjectRect_; // client coordinates

    // A press inside the selection that may become a drag.
    bool dragPending_ = false;
    bool dragging_ = false;
    bool ownDropDone_ = false;
    bool lastBlockReported_ = false;
};

// Alt (not AltGr) held: the key is the window's accelerator, never text.
bool IsAltCommand(const QKeyEvent &event);

} // namespace qn
