#include "widgets/flat_button.h"
#include "widgets/widget_accessible.h"

#include "platform/qt/qt_canvas.h"
#include "platform/qt/qt_text.h"
#include "widgets/canvas_font.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcutEvent>

#include <algorithm>
#include <memory>

namespace qn {

namespace {

// One dither pattern for every button, made at the first paint that needs
// it and dropped whenever a button goes (so a palette change is picked up).
std::unique_ptr<CanvasBitmap> gDitherPattern;

std::string ansiOf(const QString &text)
{
    if (std::optional<std::string> ansi = QStringToAnsi(text))
        return *ansi;
    return text.toLatin1().toStdString();
}

unsigned alignmentFormat(TAlignment alignment)
{
    switch (alignment) {
    case taLeftJustify:
        return kDtLeft;
    case taRightJustify:
        return kDtRight;
    case taCenter:
    default:
        return kDtCenter;
    }
}

} // namespace

TFlatButton::TFlatButton(QWidget *parent) : QWidget(parent)
{
    InstallWidgetAccessibility();
    // Windowless in spirit: never takes the focus, paints over its parent.
    setFocusPolicy(Qt::NoFocus);
    setAttribute(Qt::WA_Hover, false);
    setMouseTracking(false);
    resize(50, 40);
    watchWindow();
}

TFlatButton::~TFlatButton()
{
    gDitherPattern.reset();
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
}

// ---------------------------------------------------------------------------
// Properties

void TFlatButton::SetShadowColor(ColorRef color)
{
    shadowColor_ = color;
    Repaint();
}

void TFlatButton::SetAlignment(TAlignment alignment)
{
    alignment_ = alignment;
    Repaint();
}

void TFlatButton::SetAllowAllUp(bool value)
{
    allowAllUp_ = value;
    if (groupIndex_ != 0)
        forEachGroupPeer([value](TFlatButton *peer) { peer->allowAllUp_ = value; });
    Repaint();
}

void TFlatButton::SetBevelStyle(TBevelStyle style)
{
    bevelStyle_ = style;
    Repaint();
}

void TFlatButton::SetNoFocusBitmap(const CanvasBitmap &bitmap)
{
    noFocusBitmap_ = bitmap;
    makeGreyBitmap();
    Repaint();
}

void TFlatButton::SetBitmap(const CanvasBitmap &bitmap)
{
    bitmap_ = bitmap;
    makeGreyBitmap();
    Repaint();
}

void TFlatButton::SetCaption(const QString &caption)
{
    caption_ = caption;
    updateAccelerator();
    if (options_ & boIconOnly)
        setToolTip(QString::fromStdString(StripAccelerators(caption.toStdString())));
    else
        Repaint();
}

void TFlatButton::SetGroupIndex(int index)
{
    groupIndex_ = index;
    if (index == 0 && down_)
        down_ = false;
    Repaint();
}

void TFlatButton::SetDisabledBitmap(const CanvasBitmap &bitmap)
{
    disabledBitmap_ = bitmap;
    if (!isEnabled())
        Repaint();
}

void TFlatButton::SetDown(bool down)
{
    if (down == down_ || groupIndex_ == 0)
        return;
    down_ = down;
    Repaint();
    if (down)
        forEachGroupPeer([](TFlatButton *peer) {
            if (peer->down_) {
                peer->down_ = false;
                peer->Repaint();
            }
        });
}

void TFlatButton::SetDropDownMenu(QMenu *menu)
{
    // A QPointer: the reference clears itself when the menu is destroyed.
    dropDownMenu_ = menu;
    if (options_ & boPopupMark)
        Repaint();
}

void TFlatButton::SetLayout(TButtonLayout layout)
{
    layout_ = layout;
    Repaint();
}

void TFlatButton::SetOptions(TButtonOptions options)
{
    options_ = options;
    const QString plain = QString::fromStdString(StripAccelerators(caption_.toStdString()));
    if (options & boIconOnly) {
        if (toolTip().isEmpty()) {
            setToolTip(plain);
            showHint_ = true;
        }
    } else if (!toolTip().isEmpty() && toolTip() == plain) {
        // The hint was the caption standing in for it; the caption is back.
        setToolTip(QString());
        showHint_ = false;
    }
    Repaint();
}

void TFlatButton::SetShadingType(TShadingType shading)
{
    if (shading == shadingType_)
        return;
    shadingType_ = shading;
    if (!bitmap_.IsEmpty() && noFocusBitmap_.IsEmpty())
        makeGreyBitmap();
    Repaint();
}

void TFlatButton::SetShowDownPattern(bool value)
{
    showDownPattern_ = value;
    Repaint();
}

void TFlatButton::SetUnselectedFontColor(ColorRef color)
{
    unselectedFontColor_ = color;
    Repaint();
}

void TFlatButton::SetWordWrap(bool value)
{
    wordWrap_ = value;
    Repaint();
}

void TFlatButton::SetFontColor(ColorRef color)
{
    fontColor_ = color;
    Repaint();
}

void TFlatButton::makeGreyBitmap()
{
    if (!bitmap_.IsEmpty() && noFocusBitmap_.IsEmpty())
        greyBitmap_ = MakeGreyBitmap(bitmap_, shadingType_, systemRgb(kSysColorButtonHighlight),
                                     systemRgb(kSysColorButtonShadow));
    else
        greyBitmap_ = CanvasBitmap();
}

ColorRef TFlatButton::systemRgb(ColorRef color) const
{
    switch (color) {
    case kSysColorButtonHighlight:
        return ColorRefOf(palette().color(QPalette::Light));
    case kSysColorButtonShadow:
        return ColorRefOf(palette().color(QPalette::Dark));
    case kSysColorButtonFace:
        return ColorRefOf(palette().color(QPalette::Button));
    default:
        return IsSystemColor(color) ? DefaultSystemColor(color) : color;
    }
}

template <typename F> void TFlatButton::forEachGroupPeer(F f)
{
    QWidget *parent = parentWidget();
    if (!parent)
        return;
    for (TFlatButton *peer : parent->findChildren<TFlatButton *>(Qt::FindDirectChildrenOnly))
        if (peer != this && peer->groupIndex_ == groupIndex_)
            f(peer);
}

void TFlatButton::updateAccelerator()
{
    if (shortcutId_ != 0)
        releaseShortcut(shortcutId_);
    shortcutId_ = 0;
    const QKeySequence mnemonic = QKeySequence::mnemonic(caption_);
    if (!mnemonic.isEmpty())
        shortcutId_ = grabShortcut(mnemonic);
}

void TFlatButton::watchWindow()
{
    QWidget *top = window();
    if (top == watchedWindow_ || top == this)
        return;
    if (watchedWindow_)
        watchedWindow_->removeEventFilter(this);
    watchedWindow_ = top;
    top->installEventFilter(this);
}

// ---------------------------------------------------------------------------
// Mouse and keys

void TFlatButton::Click()
{
    if (OnClick)
        OnClick();
    emit clicked();
}

bool TFlatButton::cursorInside() const
{
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

void TFlatButton::mouseEnter()
{
    if (mouseInControl_)
        return;
    mouseInControl_ = true;
    if (!down_ && isEnabled())
        Repaint();
}

void TFlatButton::mouseLeave()
{
    if (!mouseInControl_)
        return;
    mouseInControl_ = false;
    if (!down_ && isEnabled())
        Repaint();
}

void TFlatButton::leftButtonDown()
{
    QWidget *form = window();
    if (form && !form->isActiveWindow()) {
        form->raise();
        form->activateWindow();
    }
    if (!isEnabled() || isHidden())
        return;
    pressed_ = true;
    mouseInControl_ = true;
    Repaint();
    if (!dropDownMenu_)
        return;
    QPointer<TFlatButton> self(this);
    dropDownMenu_->exec(mapToGlobal(QPoint(0, height())));
    if (!self)
        return;
    // The release of this press is left unanswered: the menu took it.
    mouseInControl_ = cursorInside();
    pressed_ = false;
    Repaint();
}

void TFlatButton::leftButtonUp()
{
    if (!isEnabled() || isHidden() || !pressed_)
        return;
    pressed_ = false;
    if (mouseInControl_ && groupIndex_ != 0) {
        if (!down_) {
            SetDown(true);
        } else if (allowAllUp_) {
            down_ = false;
        }
    }
    if (!mouseInControl_) {
        Repaint();
        return;
    }
    mouseInControl_ = false;
    Repaint();
    if (!dropDownMenu_)
        Click();
}

void TFlatButton::accelerate()
{
    if (!isEnabled() || !isVisible())
        return;
    QPointer<TFlatButton> self(this);
    mouseInControl_ = true;
    pressed_ = false;
    Repaint();
    QApplication::processEvents();
    if (!self)
        return;
    leftButtonDown();
    QApplication::processEvents();
    if (!self)
        return;
    leftButtonUp();
    QApplication::processEvents();
    if (!self)
        return;
    if (!cursorInside()) {
        mouseInControl_ = false;
        Repaint();
    }
}

void TFlatButton::enterEvent(QEnterEvent *)
{
    mouseEnter();
}

void TFlatButton::leaveEvent(QEvent *)
{
    mouseLeave();
}

void TFlatButton::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        leftButtonDown();
}

void TFlatButton::mouseMoveEvent(QMouseEvent *event)
{
    // While pressed the button holds the mouse and hears of no crossing of
    // its edge; it tells from the position.
    if (!pressed_)
        return;
    if (rect().contains(event->position().toPoint()))
        mouseEnter();
    else
        mouseLeave();
}

void TFlatButton::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        if (pressed_) {
            if (rect().contains(event->position().toPoint()))
                mouseEnter();
            else
                mouseLeave();
        }
        leftButtonUp();
    } else if (event->button() == Qt::RightButton && popupMenu_) {
        QPointer<TFlatButton> self(this);
        popupMenu_->exec(event->globalPosition().toPoint());
        if (!self)
            return;
        mouseInControl_ = cursorInside();
        pressed_ = false;
        Repaint();
    }
}

bool TFlatButton::event(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Shortcut:
        if (static_cast<QShortcutEvent *>(event)->shortcutId() == shortcutId_) {
            accelerate();
            return true;
        }
        break;
    case QEvent::ToolTip:
        if (!showHint_)
            return true;
        break;
    case QEvent::ParentChange:
    case QEvent::Show:
        watchWindow();
        break;
    default:
        break;
    }
    return QWidget::event(event);
}

bool TFlatButton::eventFilter(QObject *watched, QEvent *event)
{
    // Enter and Escape that no control of the window wanted are the dialog
    // keys of its default and cancel buttons.
    if (watched == watchedWindow_ && event->type() == QEvent::KeyPress && isEnabled() &&
        isVisible()) {
        auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool escape = key->key() == Qt::Key_Escape;
        if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
            if ((enter && default_) || (escape && cancel_)) {
                Click();
                return true;
            }
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TFlatButton::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::EnabledChange) {
        if (groupIndex_ == 0)
            down_ = false;
        pressed_ = false;
        mouseInControl_ = false;
        Repaint();
    } else if (event->type() == QEvent::PaletteChange) {
        makeGreyBitmap();
    }
    QWidget::changeEvent(event);
}

// ---------------------------------------------------------------------------
// Painting

void TFlatButton::Repaint()
{
    update();
}

void TFlatButton::paintEvent(QPaintEvent *)
{
    if (backing_.size() != size())
        backing_ = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    backing_.fill(Qt::transparent);
    {
        QtCanvas canvas(&backing_, logicalDpiX(), logicalDpiY());
        canvas.SetPalette(palette());
        Paint(canvas);
        canvas.End();
    }
    QPainter painter(this);
    painter.drawImage(0, 0, backing_);
}

void TFlatButton::drawFrame(Canvas &canvas, bool pressedFrame)
{
    const int w = width(), h = height();
    // The hover frame is light on the left and top when raised; the pressed
    // frame and the lowered bevel turn it round.
    bool lightTopLeft = bevelStyle_ == bsRaised;
    if (pressedFrame)
        lightTopLeft = !lightTopLeft;
    const ColorRef topLeft = lightTopLeft ? kSysColorButtonHighlight : shadowColor_;
    const ColorRef bottomRight = lightTopLeft ? shadowColor_ : kSysColorButtonHighlight;
    canvas.SetPen(topLeft);
    canvas.Polyline({{0, h - 1}, {0, 0}, {w - 1, 0}});
    canvas.SetPen(bottomRight);
    canvas.Polyline({{w - 1, 0}, {w - 1, h - 1}, {0, h - 1}});
}

void TFlatButton::drawCaption(Canvas &canvas, const std::string &text, CanvasRect box,
                              unsigned format, bool disabled)
{
    auto draw = [&](CanvasRect r, ColorRef color) {
        canvas.SetTextColor(color);
        canvas.DrawText(text, r, format);
        // Underline the accelerator where the caption stands on one line.
        const int index = AcceleratorIndex(text);
        const std::string plain = StripAccelerators(text);
        if (index < 0 || canvas.TextWidth(plain) > r.Width())
            return;
        const int lineWidth = canvas.TextWidth(plain);
        int x = r.Left;
        if (format & kDtCenter)
            x += (r.Width() - lineWidth) / 2;
        else if (format & kDtRight)
            x = r.Right - lineWidth;
        x += canvas.TextWidth(std::string_view(plain).substr(0, size_t(index)));
        const int charWidth = canvas.CharWidths()[static_cast<unsigned char>(plain[size_t(index)])];
        const FontMetrics m = canvas.Metrics();
        const int y = r.Top + m.Ascent + std::max(1, m.UnderlinePosition);
        canvas.FillRect({x, y, x + charWidth, y + 1}, color);
    };
    if (disabled) {
        draw({box.Left + 1, box.Top + 1, box.Right + 1, box.Bottom + 1}, kSysColorButtonHighlight);
        draw(box, kSysColorButtonShadow);
    } else {
        draw(box, canvas.TextColor());
    }
}

void TFlatButton::drawPopupMark(Canvas &canvas, int x, int y, ColorRef color)
{
    // A downward triangle: rows of 7, 5, 3 and 1 pixels, the top at y - 1.
    for (int row = 0; row < 4; ++row)
        canvas.FillRect({x + row, y - 1 + row, x + 7 - row, y + row}, color);
}

void TFlatButton::Paint(Canvas &canvas)
{
    if (isHidden())
        return;
    if (down_ && showDownPattern_)
        paintDownPattern(canvas);

    canvas.SetBrush(canvas.BrushColor(), BrushStyle::Clear);
    canvas.SetBackgroundMode(BackgroundMode::Transparent);
    canvas.SelectFont(FontSpecOf(font(), fontColor_));

    const std::string caption = ansiOf(caption_);
    const unsigned format = alignmentFormat(alignment_) | (wordWrap_ ? unsigned(kDtWordBreak) : 0u);
    const Placement at = place(canvas, caption, format);
    if (!isEnabled())
        paintDisabled(canvas, caption, format, at);
    else if ((pressed_ && mouseInControl_) || down_)
        paintPressed(canvas, caption, format, at);
    else
        paintUp(canvas, caption, format, at);
}

void TFlatButton::paintDownPattern(Canvas &canvas)
{
    const int W = width(), H = height();
    if (!gDitherPattern)
        gDitherPattern = std::make_unique<CanvasBitmap>(
            MakeDitherPattern(systemRgb(kSysColorButtonHighlight), systemRgb(kSysColorButtonFace)));
    CanvasBitmap fill(W, H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            fill.Set(x, y, gDitherPattern->At(x % 8, y % 8));
    canvas.DrawBitmap({0, 0, W, H}, fill);
}

// Where the glyph and the caption go: the caption measured in the button's
// font, then both laid out by the layout and the alignment.
TFlatButton::Placement TFlatButton::place(Canvas &canvas, const std::string &caption,
                                          unsigned format) const
{
    const int W = width(), H = height();
    int a = 0, b = 0, gap = 0;
    if (!(options_ & boIconOnly) && !caption.empty()) {
        gap = 2;
        CanvasRect measure{0, 0, W - 4, 0};
        canvas.DrawText(wordWrap_ ? caption + " " : caption, measure, format | kDtCalcRect);
        a = std::min(measure.Width(), W - 4);
        b = measure.Height();
    }

    Placement at;
    at.hasMenu = dropDownMenu_ && (options_ & boPopupMark);
    at.hasBitmap = !bitmap_.IsEmpty();
    at.showCaption = !(options_ & boIconOnly) && !caption.empty();
    const int bw = bitmap_.Width + (at.hasMenu ? 10 : 0);
    const int bh = bitmap_.Height;
    int x = 0, y = 0, f0 = 0, t = 0, e = 0;
    if (!at.hasBitmap) {
        e = a;
        if (at.hasMenu) {
            e = std::min(W - 14, a);
            a += 10;
        }
        t = (H - b) / 2;
        if (alignment_ == taLeftJustify)
            f0 = 3;
        else if (alignment_ == taRightJustify)
            f0 = W - a - 3;
        else
            f0 = (W - a) / 2;
    } else {
        switch (layout_) {
        case blBitmapTop:
        case blBitmapBottom:
            if (layout_ == blBitmapTop) {
                y = (H - b - bh - gap) / 2;
                t = y + bh + gap;
            } else {
                t = (H - b - bh - gap) / 2;
                y = t + b + gap;
            }
            if (alignment_ == taLeftJustify)
                x = 3, f0 = 3;
            else if (alignment_ == taRightJustify)
                x = W - bw - 3, f0 = W - a - 3;
            else
                x = (W - bw) / 2, f0 = (W - a) / 2;
            break;
        case blBitmapLeft:
        case blBitmapRight:
            if (W - 4 < a + bw + gap)
                a = W - gap - bw - 4;
            y = (H - bh) / 2;
            t = (H - b) / 2;
            if (layout_ == blBitmapLeft) {
                if (alignment_ == taLeftJustify) {
                    x = 3;
                    f0 = bw + gap + 3;
                } else if (alignment_ == taRightJustify) {
                    f0 = W - a - 3;
                    x = f0 - bw - gap;
                } else {
                    x = (W - a - bw - gap) / 2;
                    f0 = x + bw + gap;
                }
            } else {
                if (alignment_ == taLeftJustify) {
                    f0 = 3;
                    x = a + 3 + gap;
                } else if (alignment_ == taRightJustify) {
                    x = W - bw - 3;
                    f0 = x - a - gap;
                } else {
                    f0 = (W - a - bw - gap) / 2;
                    x = a + f0 + gap;
                }
            }
            break;
        }
        e = a;
    }
    if (wordWrap_ && W - 5 < e + f0)
        e = W - f0 - 5;
    at.x = x;
    at.y = y;
    at.box = CanvasRect{f0, t, f0 + e, t + b};
    at.markY = t + b / 2;
    return at;
}

void TFlatButton::paintDisabled(Canvas &canvas, const std::string &caption, unsigned format,
                                const Placement &at)
{
    if (down_)
        drawFrame(canvas, true);
    if (at.hasBitmap) {
        if (disabledBitmap_.IsEmpty()) {
            const CanvasBitmap mono = MakeMonoBitmap(bitmap_);
            canvas.DrawMask(at.x + 1, at.y + 1, mono, kSysColorButtonHighlight);
            canvas.DrawMask(at.x, at.y, mono, kSysColorButtonShadow);
        } else {
            canvas.DrawTransparentBitmap(at.x, at.y, disabledBitmap_, disabledBitmap_.At(0, 0));
        }
    }
    if (at.showCaption)
        drawCaption(canvas, caption, at.box, format, true);
}

void TFlatButton::paintPressed(Canvas &canvas, const std::string &caption, unsigned format,
                               const Placement &at)
{
    drawFrame(canvas, true);
    const int shift = bevelStyle_ == bsRaised ? 1 : 0;
    canvas.SetTextColor(fontColor_);
    const CanvasRect &box = at.box;
    if (at.showCaption)
        drawCaption(canvas, caption,
                    {box.Left + shift, box.Top + shift, box.Right + shift, box.Bottom + shift},
                    format, false);
    if (at.hasBitmap)
        canvas.DrawTransparentBitmap(at.x + 1, at.y + 1, bitmap_, bitmap_.At(0, 0));
    if (at.hasMenu) {
        if (at.hasBitmap)
            drawPopupMark(canvas, at.x + bitmap_.Width + 4, at.y + bitmap_.Height / 2 + 1,
                          fontColor_);
        else
            drawPopupMark(canvas, box.Right + 4, at.markY + 1, fontColor_);
    }
}

void TFlatButton::paintUp(Canvas &canvas, const std::string &caption, unsigned format,
                          const Placement &at)
{
    if (mouseInControl_) {
        drawFrame(canvas, false);
        canvas.SetTextColor(fontColor_);
    } else {
        canvas.SetTextColor(unselectedFontColor_);
    }
    const int shift = bevelStyle_ == bsLowered ? 1 : 0;
    const CanvasRect &box = at.box;
    if (at.showCaption)
        drawCaption(canvas, caption,
                    {box.Left + shift, box.Top + shift, box.Right + shift, box.Bottom + shift},
                    format, false);
    if (at.hasBitmap) {
        const CanvasBitmap *shown = &bitmap_;
        if (!mouseInControl_ && (options_ & boMonoDisplay))
            shown = noFocusBitmap_.IsEmpty() ? &greyBitmap_ : &noFocusBitmap_;
        if (!shown->IsEmpty())
            canvas.DrawTransparentBitmap(at.x, at.y, *shown, shown->At(0, 0));
    }
    if (at.hasMenu) {
        if (at.hasBitmap)
            drawPopupMark(canvas, at.x + bitmap_.Width + 3, at.y + bitmap_.Height / 2, fontColor_);
        else
            drawPopupMark(canvas, box.Right + 3, at.markY, fontColor_);
    }
}

} // namespace qn
