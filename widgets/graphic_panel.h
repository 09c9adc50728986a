#pragma once

// A caption panel: an opaque rectangle with an optional black border, an
// outer and an inner 3-D bevel and one line of text. It paints through its
// own canvas into a backing image at every change, after the manner of a
// windowless control; the widget only shows that image.

#include "platform/canvas.h"
#include "platform/keys.h"
#include "widgets/widget_types.h"

#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

class QMenu;

namespace qn {

class QtCanvas;

// Where a control sits in its parent. Only the parent's client area is taken
// into account, not other aligned siblings.
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TPanelBevel { bvNone, bvLowered, bvRaised };
enum TDragMode { dmManual, dmAutomatic };

enum TMouseButton { mbLeft, mbRight, mbMiddle };

// A frame of `width` nested one-pixel rings inside rect: for each ring the
// top and left edges in topColor, the bottom and right edges in bottomColor;
// rect shrinks by one pixel on each side per ring.
void Frame3D(Canvas &canvas, CanvasRect &rect, ColorRef topColor, ColorRef bottomColor, int width);

class TGraphicPanel : public QWidget {
    Q_OBJECT
public:
    explicit TGraphicPanel(QWidget *parent = nullptr);
    ~TGraphicPanel() override;

    TAlign Align() const { return align_; }
    void SetAlign(TAlign align);
    TAlignment Alignment() const { return alignment_; }
    void SetAlignment(TAlignment alignment);
    TPanelBevel BevelInner() const { return bevelInner_; }
    void SetBevelInner(TPanelBevel bevel);
    TPanelBevel BevelOuter() const { return bevelOuter_; }
    void SetBevelOuter(TPanelBevel bevel);
    int BevelWidth() const { return bevelWidth_; }
    void SetBevelWidth(int width);
    int BorderWidth() const { return borderWidth_; }
    void SetBorderWidth(int width);
    TBorderStyle BorderStyle() const { return borderStyle_; }
    void SetBorderStyle(TBorderStyle style);

    // The canvas the panel paints with (its backing image).
    qn::Canvas &Canvas();

    // The panel colour; setting it stops following the parent's colour.
    ColorRef Color() const;
    void SetColor(ColorRef color);
    bool ParentColor() const { return parentColor_; }
    void SetParentColor(bool parentColor);
    // Kept for forms that set it; it changes nothing on screen.
    bool Locked() const { return locked_; }
    void SetLocked(bool locked) { locked_ = locked; }

    // Windows-1252 text.
    const std::string &Caption() const { return caption_; }
    void SetCaption(const std::string &caption);

    // The caption font; setting it stops following the parent's font.
    const FontSpec &Font() const { return font_; }
    void SetFont(const FontSpec &font);
    bool ParentFont() const { return parentFont_; }
    void SetParentFont(bool parentFont);

    // Whether the tool tip shows: the panel's own choice, or the parent's
    // while ParentShowHint holds (setting ShowHint ends that).
    bool ShowHint() const;
    void SetShowHint(bool show);
    bool ParentShowHint() const { return parentShowHint_; }
    void SetParentShowHint(bool parent) { parentShowHint_ = parent; }
    // Shown on a right click (not owned).
    QMenu *PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu *menu) { popupMenu_ = menu; }
    // The cursor and mode a drag would use; stored for the forms that set them.
    Qt::CursorShape DragCursor() const { return dragCursor_; }
    void SetDragCursor(Qt::CursorShape cursor) { dragCursor_ = cursor; }
    TDragMode DragMode() const { return dragMode_; }
    void SetDragMode(TDragMode mode) { dragMode_ = mode; }

    // Events, called only when set.
    std::function<void()> OnClick;
    std::function<void()> OnDblClick;
    std::function<void(TMouseButton, TShiftState, int x, int y)> OnMouseDown;
    std::function<void(TShiftState, int x, int y)> OnMouseMove;
    std::function<void(TMouseButton, TShiftState, int x, int y)> OnMouseUp;
    std::function<void()> OnResize;

    // Paints the whole panel (client rectangle at 0, 0) onto any canvas.
    void PaintTo(qn::Canvas &canvas) const;
    // Paints into the backing image and shows it.
    void Paint();

protected:
    // After every change of size: a new backing image, painted.
    virtual void Resize();

    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void realign();
    void followParent();

    TAlign align_ = alNone;
    TAlignment alignment_ = taCenter;
    TPanelBevel bevelInner_ = bvNone;
    TPanelBevel bevelOuter_ = bvRaised;
    int bevelWidth_ = 1;
    int borderWidth_ = 0;
    TBorderStyle borderStyle_ = bsNone;
    ColorRef color_ = kSysColorButtonFace;
    bool parentColor_ = false;
    bool locked_ = false;
    std::string caption_;
    FontSpec font_;
    bool parentFont_ = true;
    bool showHint_ = false;
    bool parentShowHint_ = true;
    QMenu *popupMenu_ = nullptr;
    Qt::CursorShape dragCursor_ = Qt::DragMoveCursor;
    TDragMode dragMode_ = dmManual;
    bool pressed_ = false;
    bool followingParent_ = false;

    QImage image_;
    std::unique_ptr<QtCanvas> canvas_;
};

} // namespace qn
