// The status bar: panels from definition lines, their layout and painting.
#include "richtext/controls/status_bar.h"

#include "richtext/controls/controls_accessible.h"

#include <QAccessible>

#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace qn {

namespace {

QColor qcolorOf(ColorRef c)
{
    if (IsSystemColor(c))
        c = DefaultSystemColor(c);
    return QColor(RedOf(c), GreenOf(c), BlueOf(c));
}

const char *const kKindNames[] = {
    "stGauge", "stIndex", "stOutline", "stStatus", "stInsert", "stCaps",     "stNum",
    "stXPos",  "stYPos",  "stDate",    "stTime",   "stPage",   "stLine",     "stChanged",
    "stFont",  "stStyle", "stUnit",    "stTxtFmt", "stName",   "stFileName", "stPathName",
};

// Indexes of kKindNames; stHelp (1) sits between stGauge and stIndex.
int kindAt(int i)
{
    return i == 0 ? stGauge : i + 1;
}

} // namespace

TQnStatusBarBasic::TQnStatusBarBasic(QWidget *parent) : QWidget(parent)
{
    InstallControlsAccessibility();
    setAccessibleName(QStringLiteral("Status"));
    setMinimumHeight(QFontMetrics(font()).height() + 4);
    resize(300, std::max(20, minimumHeight()));
}

int TQnStatusBarBasic::KindOfName(const QString &name)
{
    if (name.compare(QLatin1String("stHelp"), Qt::CaseInsensitive) == 0)
        return stHelp;
    for (int i = 0; i < static_cast<int>(std::size(kKindNames)); ++i)
        if (name.compare(QLatin1String(kKindNames[i]), Qt::CaseInsensitive) == 0)
            return kindAt(i);
    return stString;
}

void TQnStatusBarBasic::SetLines(const QStringList &lines)
{
    lines_ = lines;
    rebuild();
}

void TQnStatusBarBasic::SetShowGauge(bool on)
{
    showGauge_ = on;
    rebuild();
}

void TQnStatusBarBasic::SetGaugeWidth(int width)
{
    gaugeWidth_ = std::max(1, width);
    rebuild();
}

void TQnStatusBarBasic::SetGaugePosition(int percent)
{
    gaugePosition_ = std::clamp(percent, 0, 100);
    update();
}

void TQnStatusBarBasic::SetTextAlign(TStatusTextAlign align)
{
    textAlign_ = align;
    update();
}

void TQnStatusBarBasic::SetSizeGrip(bool on)
{
    sizeGrip_ = on;
    update();
}

void TQnStatusBarBasic::SetPanelColor(int index, ColorRef color)
{
    if (index < 0 || index >= static_cast<int>(panels_.size()))
        return;
    panels_[index].Color = color;
    panels_[index].Flags |= kPanelColored;
    update(panelRect(panels_[index]));
}

bool TQnStatusBarBasic::SetPanelText(int kind, const QString &text)
{
    for (TPanel &panel : panels_)
        if (panel.Kind == kind) {
            panel.Text = text;
            update(panelRect(panel));
            if (QAccessible::isActive()) {
                QAccessibleEvent renamed(this, QAccessible::NameChanged);
                renamed.setChild(int(&panel - panels_.data()));
                QAccessible::updateAccessibility(&renamed);
            }
            return true;
        }
    return false;
}

void TQnStatusBarBasic::rebuild()
{
    panels_.clear();
    const QFontMetrics fm(font());
    for (int line = 0; line < lines_.size() && static_cast<int>(panels_.size()) < kMaxPanels;
         ++line) {
        const QString &s = lines_[line];
        if (s.isEmpty())
            continue;
        TPanel panel;
        panel.Line = line;
        int i = 0;
        if (i < s.size() && s[i] == QLatin1Char('@')) {
            panel.Flags |= kPanelRaised;
            ++i;
        }
        if (i < s.size() && s[i] == QLatin1Char('$')) {
            panel.Flags |= kPanelPressed;
            ++i;
        }
        if (i < s.size() && s[i] == QLatin1Char('%')) {
            panel.Flags |= kPanelGrayed;
            ++i;
        }
        int width = 0;
        while (i < s.size() && s[i].isDigit() && width < 100000)
            width = width * 10 + s[i++].digitValue();
        const QString rest = s.mid(i);
        const int eq = rest.indexOf(QLatin1Char('='));
        panel.Kind = KindOfName(eq >= 0 ? rest.left(eq) : rest);
        panel.Text = eq >= 0 ? rest.mid(eq + 1) : s;
        if (width == 0)
            width = fm.horizontalAdvance(panel.Text) + 6; // with the frame and margins
        panel.DefinedWidth = width <= 9 ? 30 : width;
        panels_.push_back(panel);
    }
    if (showGauge_) {
        TPanel gauge;
        gauge.Kind = stGauge;
        gauge.Line = -1;
        gauge.DefinedWidth = gaugeWidth_;
        panels_.push_back(gauge);
    }
    arrange();
    update();
}

void TQnStatusBarBasic::arrange()
{
    if (panels_.empty())
        return;
    const int n = static_cast<int>(panels_.size());
    const int room = width() - 4;
    int total = 2 * (n - 1);
    for (TPanel &panel : panels_) {
        panel.Width = panel.DefinedWidth;
        total += panel.Width;
    }
    const int gaps = 2 * (n - 1), widths = total - gaps;
    if (total > room && widths > 0) {
        // Scaled so that the panels with their gaps fit the bar.
        for (TPanel &panel : panels_)
            panel.Width = std::max(
                1, static_cast<int>(int64_t(panel.Width) * std::max(n, room - gaps) / widths));
    }
    int x = 2;
    for (TPanel &panel : panels_) {
        panel.X = x;
        x += panel.Width + 2;
    }
    if (total < room) {
        // The last panel (before a gauge, which keeps its width at the right
        // end) reaches to 2 pixels before the right edge.
        const bool gauge = showGauge_ && n >= 2;
        if (gauge) {
            TPanel &g = panels_[n - 1];
            g.X = width() - 2 - g.Width;
            TPanel &stretched = panels_[n - 2];
            stretched.Width = std::max(1, g.X - 2 - stretched.X);
        } else {
            TPanel &last = panels_[n - 1];
            last.Width = std::max(1, width() - 2 - last.X);
        }
    }
}

void TQnStatusBarBasic::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    arrange();
}

QRect TQnStatusBarBasic::panelRect(const TPanel &panel) const
{
    return QRect(panel.X, 4, panel.Width, std::max(1, height() - 5));
}

int TQnStatusBarBasic::textTop(const TPanel &panel) const
{
    const int textHeight = QFontMetrics(font()).height();
    const QRect r = panelRect(panel);
    int top = 3;
    switch (textAlign_) {
    case TStatusTextAlign::Top:
        top = 3;
        break;
    case TStatusTextAlign::Bottom:
        top = height() - textHeight - 2;
        break;
    case TStatusTextAlign::Center:
        top = r.top() + (r.height() - textHeight) / 2;
        break;
    }
    top = std::max(3, top);
    return (panel.Flags & kPanelPressed) ? top + 1 : top;
}

void TQnStatusBarBasic::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QColor face = qcolorOf(kSysColorButtonFace), shadow = qcolorOf(kSysColorButtonShadow);
    p.fillRect(rect(), face);
    p.setPen(Qt::black);
    p.drawLine(0, 0, width() - 1, 0);
    p.setPen(Qt::white);
    p.drawLine(0, 1, width() - 1, 1);
    p.setPen(shadow);
    p.drawLine(0, 2, width() - 1, 2);
    const QFontMetrics fm(font());
    for (const TPanel &panel : panels_) {
        const QRect r = panelRect(panel);
        const bool colored = panel.Flags & kPanelColored;
        p.fillRect(r, colored ? qcolorOf(panel.Color) : face);
        const QRect f = r.adjusted(0, 0, -1, -1);
        const bool raised = panel.Flags & kPanelRaised;
        p.setPen(raised ? Qt::white : shadow);
        p.drawLine(f.topLeft(), f.topRight());
        p.drawLine(f.topLeft(), f.bottomLeft());
        p.setPen(raised ? shadow : Qt::white);
        p.drawLine(f.bottomLeft(), f.bottomRight());
        p.drawLine(f.topRight(), f.bottomRight());
        if (panel.Flags & kPanelPressed) {
            p.setPen(shadow);
            p.drawLine(f.left() + 1, f.top() + 1, f.right() - 1, f.top() + 1);
            p.drawLine(f.left() + 1, f.top() + 1, f.left() + 1, f.bottom() - 1);
        }
        const QRect inner = r.adjusted(2, 1, -2, -1);
        if (panel.Kind == stGauge && panel.Text.isEmpty()) {
            const QRect bar = inner.adjusted(1, 1, -1, -1);
            const int filled = bar.width() * gaugePosition_ / 100;
            p.fillRect(bar, Qt::white);
            p.fillRect(QRect(bar.left(), bar.top(), filled, bar.height()), QColor(0, 0, 128));
            p.setPen(Qt::black);
            p.drawText(bar, Qt::AlignCenter, QStringLiteral("%1 %").arg(gaugePosition_));
            continue;
        }
        const QColor text = (panel.Flags & kPanelGrayed) ? shadow
                            : colored                    ? qcolorOf(panel.Color ^ 0xFFFFFF)
                                                         : QColor(Qt::black);
        p.setPen(text);
        p.setClipRect(inner);
        p.drawText(inner.left() + 1, textTop(panel) + fm.ascent(), panel.Text);
        p.setClipping(false);
    }
    if (sizeGrip_) {
        const int right = width() - 1, bottom = height() - 1;
        for (int i = 0; i < 4; ++i) {
            const int d = 3 + 3 * i;
            p.setPen(Qt::white);
            p.drawLine(right - d, bottom, right, bottom - d);
            p.setPen(shadow);
            p.drawLine(right - d + 1, bottom, right, bottom - d + 1);
        }
    }
}

void TQnStatusBarBasic::mousePressEvent(QMouseEvent *event)
{
    const QPoint at = event->position().toPoint();
    for (int i = 0; i < static_cast<int>(panels_.size()); ++i) {
        const TPanel &panel = panels_[i];
        if (at.x() >= panel.X && at.x() < panel.X + panel.Width) {
            if (OnPanelClick)
                OnPanelClick(this, i, panel.Kind, panel.Text, at.x());
            return;
        }
    }
}

} // namespace qn
