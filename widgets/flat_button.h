#pragma once

// A flat, windowless push button: no border until the mouse is over it, then
// a raised frame, and a sunken one while pressed. It shows a caption and a
// bitmap in one of four layouts, may show its bitmap in grey until hovered,
// may act as a toggle in a group of buttons of the same parent, may open a
// drop-down menu marked with a small triangle, and answers Enter or Escape as
// a dialog's default or cancel button.
//
// It paints through the Canvas: Paint draws the whole button on any canvas,
// paintEvent draws it on the widget's backing image and copies that.

#include "platform/canvas.h"
#include "widgets/button_pictures.h"
#include "widgets/widget_types.h"

#include <QImage>
#include <QMenu>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

namespace qn {

enum TBevelStyle { bsLowered, bsRaised };
enum TButtonLayout { blBitmapTop, blBitmapBottom, blBitmapLeft, blBitmapRight };
enum TButtonOption : unsigned { boMonoDisplay = 1, boIconOnly = 2, boPopupMark = 4 };
using TButtonOptions = unsigned;

class TFlatButton : public QWidget {
    Q_OBJECT
public:
    explicit TFlatButton(QWidget *parent = nullptr);
    ~TFlatButton() override;

    // Published properties, with their defaults.
    bool Cancel() const { return cancel_; } // Escape clicks the button
    void SetCancel(bool value) { cancel_ = value; }
    bool Default() const { return default_; } // Enter clicks the button
    void SetDefault(bool value) { default_ = value; }
    ColorRef ShadowColor() const { return shadowColor_; } // button shadow
    void SetShadowColor(ColorRef color);
    TAlignment Alignment() const { return alignment_; } // taCenter
    void SetAlignment(TAlignment alignment);
    bool AllowAllUp() const { return allowAllUp_; } // false
    void SetAllowAllUp(bool value);
    TBevelStyle BevelStyle() const { return bevelStyle_; } // bsRaised
    void SetBevelStyle(TBevelStyle style);
    const CanvasBitmap &NoFocusBitmap() const { return noFocusBitmap_; }
    void SetNoFocusBitmap(const CanvasBitmap &bitmap);
    const CanvasBitmap &Bitmap() const { return bitmap_; }
    void SetBitmap(const CanvasBitmap &bitmap);
    const QString &Caption() const { return caption_; } // "&" marks the accelerator
    void SetCaption(const QString &caption);
    int GroupIndex() const { return groupIndex_; } // 0: not a toggle
    void SetGroupIndex(int index);
    const CanvasBitmap &DisabledBitmap() const { return disabledBitmap_; }
    void SetDisabledBitmap(const CanvasBitmap &bitmap);
    bool Down() const { return down_; }
    void SetDown(bool down);
    QMenu *DropDownMenu() const { return dropDownMenu_; }
    void SetDropDownMenu(QMenu *menu);
    // Enabled is the widget's own (setEnabled); its change resets the state.
    TButtonLayout Layout() const { return layout_; } // blBitmapTop
    void SetLayout(TButtonLayout layout);
    TButtonOptions Options() const { return options_; } // boMonoDisplay | boPopupMark
    void SetOptions(TButtonOptions options);
    TShadingType ShadingType() const { return shadingType_; } // stMedium
    void SetShadingType(TShadingType shading);
    bool ShowDownPattern() const { return showDownPattern_; } // true
    void SetShowDownPattern(bool value);
    ColorRef UnselectedFontColor() const { return unselectedFontColor_; } // window text
    void SetUnselectedFontColor(ColorRef color);
    bool WordWrap() const { return wordWrap_; } // false
    void SetWordWrap(bool value);
    // The font's colour (the font itself is the widget's).
    ColorRef FontColor() const { return fontColor_; }
    void SetFontColor(ColorRef color);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString &hint) { setToolTip(hint); }
    bool ShowHint() const { return showHint_; }
    void SetShowHint(bool value) { showHint_ = value; }
    // The menu of a right click.
    QMenu *PopupMenu() const { return popupMenu_; }
    void SetPopupMenu(QMenu *menu) { popupMenu_ = menu; }

    std::function<void()> OnClick;

    // Internal state, readable for those who draw or test the button.
    bool MouseInControl() const { return mouseInControl_; }
    bool Pressed() const { return pressed_; }
    const CanvasBitmap &GreyBitmap() const { return greyBitmap_; }

    // Fires the click as a mouse click would.
    void Click();
    // Presses the button as its accelerator key does: only while it is
    // enabled and shown, toggling a grouped button.
    void Press() { accelerate(); }
    // Draws the whole button (client width x height) on a canvas.
    void Paint(Canvas &canvas);
    // Draws it again now (on the backing image) and shows it.
    void Repaint();

    QSize sizeHint() const override { return {50, 40}; }

signals:
    void clicked();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void mouseEnter();
    void mouseLeave();
    void leftButtonDown();
    void leftButtonUp();
    void accelerate();
    bool cursorInside() const;
    void makeGreyBitmap();
    void updateAccelerator();
    void watchWindow();
    template <typename F> void forEachGroupPeer(F f);
    ColorRef systemRgb(ColorRef color) const;
    // Drawing helpers.
    // Where Paint puts the glyph (its top left) and the caption.
    struct Placement {
        int x = 0, y = 0;
        CanvasRect box;
        int markY = 0; // the drop-down mark's middle beside a caption
        bool hasBitmap = false, hasMenu = false, showCaption = false;
    };
    Placement place(Canvas &canvas, const std::string &caption, unsigned format) const;
    void paintDownPattern(Canvas &canvas);
    void paintDisabled(Canvas &canvas, const std::string &caption, unsigned format,
                       const Placement &at);
    void paintPressed(Canvas &canvas, const std::string &caption, unsigned format,
                      const Placement &at);
    void paintUp(Canvas &canvas, const std::string &caption, unsigned format, const Placement &at);
    void drawFrame(Canvas &canvas, bool pressedFrame);
    void drawCaption(Canvas &canvas, const std::string &text, CanvasRect box, unsigned format,
                     bool disabled);
    void drawPopupMark(Canvas &canvas, int x, int y, ColorRef color);

    bool cancel_ = false;
    bool default_ = false;
    ColorRef shadowColor_ = kSysColorButtonShadow;
    TAlignment alignment_ = taCenter;
    bool allowAllUp_ = false;
    TBevelStyle bevelStyle_ = bsRaised;
    CanvasBitmap noFocusBitmap_;
    CanvasBitmap bitmap_;
    QString caption_;
    int groupIndex_ = 0;
    CanvasBitmap disabledBitmap_;
    bool down_ = false;
    QPointer<QMenu> dropDownMenu_;
    TButtonLayout layout_ = blBitmapTop;
    TButtonOptions options_ = boMonoDisplay | boPopupMark;
    TShadingType shadingType_ = stMedium;
    bool showDownPattern_ = true;
    ColorRef unselectedFontColor_ = kSysColorWindowText;
    bool wordWrap_ = false;
    ColorRef fontColor_ = kSysColorWindowText;
    bool showHint_ = true;
    QPointer<QMenu> popupMenu_;

    bool mouseInControl_ = false;
    bool pressed_ = false;
    CanvasBitmap greyBitmap_;
    int shortcutId_ = 0;
    QPointer<QWidget> watchedWindow_;
    QImage backing_;
};

} // namespace qn
