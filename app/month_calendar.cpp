#include "app/month_calendar.h"

#include "app/month_calendar_accessible.h"

#include "platform/qt/qt_canvas.h"
#include "platform/winmath.h"
#include "widgets/canvas_font.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>

namespace qn {

namespace {

constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

// A Sunday: the short day names are taken from the dates after it, so they
// follow the program's date settings.
const TDateTime kSomeSunday = EncodeDate(2023, 1, 1);

} // namespace

MonthCalendar::MonthCalendar(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    DecodeDate(Date(), year_, month_, day_);
    InstallCalendarAccessibility();
}

MonthCalendar::~MonthCalendar() = default;

TDateTime MonthCalendar::CalendarDate() const
{
    return EncodeDate(year_, month_, day_);
}

void MonthCalendar::SetCalendarDate(TDateTime date)
{
    int year = 0, month = 0, day = 0;
    DecodeDate(date, year, month, day);
    if (year < kFirstYear || year > kLastYear)
        return;
    changeDate(year, month, day);
}

void MonthCalendar::SetDay(int day)
{
    if (day < 1 || day > DaysInMonth(year_, month_) || day == day_)
        return;
    changeDate(year_, month_, day);
}

void MonthCalendar::SetStartOfWeek(int day)
{
    startOfWeek_ = ((day % 7) + 7) % 7;
    invalidate();
}

void MonthCalendar::PrevMonth()
{
    int year = year_, month = month_ - 1;
    if (month < 1)
        month = 12, --year;
    if (year < kFirstYear)
        return;
    changeDate(year, month, std::min(day_, DaysInMonth(year, month)));
}

void MonthCalendar::NextMonth()
{
    int year = year_, month = month_ + 1;
    if (month > 12)
        month = 1, ++year;
    if (year > kLastYear)
        return;
    changeDate(year, month, std::min(day_, DaysInMonth(year, month)));
}

void MonthCalendar::PrevYear()
{
    if (year_ <= kFirstYear)
        return;
    const int day = month_ == 2 && day_ == 29 ? 28 : day_;
    changeDate(year_ - 1, month_, day);
}

void MonthCalendar::NextYear()
{
    if (year_ >= kLastYear)
        return;
    const int day = month_ == 2 && day_ == 29 ? 28 : day_;
    changeDate(year_ + 1, month_, day);
}

void MonthCalendar::changeDate(int year, int month, int day)
{
    year_ = year;
    month_ = month;
    day_ = day;
    // The cells are drawn at the next paint, after OnChange has run: whoever
    // listens can prepare what the new month is drawn with.
    invalidate();
    if (OnChange)
        OnChange();
    AnnounceCalendarDay(this);
}

void MonthCalendar::moveByDays(int days)
{
    const TDateTime target = CalendarDate() + days;
    if (target < EncodeDate(kFirstYear, 1, 1) || target > EncodeDate(kLastYear, 12, 31))
        return;
    SetCalendarDate(target);
}

int MonthCalendar::monthOffset() const
{
    const int w = (DayOfWeek(EncodeDate(year_, month_, 1)) - startOfWeek_ + 7) % 7;
    return w == 0 ? -5 : 2 - w;
}

int MonthCalendar::ColWidth() const
{
    return PascalDiv(width() - (kColumns - 1) * GridLineWidth(), kColumns);
}

int MonthCalendar::RowHeight() const
{
    return PascalDiv(height() - (kRows - 1) * GridLineWidth(), kRows);
}

CanvasRect MonthCalendar::CellRect(int col, int row) const
{
    const int left = col * (ColWidth() + GridLineWidth());
    const int top = row * (RowHeight() + GridLineWidth());
    return {left, top, left + ColWidth(), top + RowHeight()};
}

std::string MonthCalendar::CellText(int col, int row) const
{
    if (col < 0 || col >= kColumns || row < 0 || row >= kRows)
        return {};
    if (row == 0)
        return FormatDateTime("ddd", kSomeSunday + (col + startOfWeek_) % 7);
    const int day = monthOffset() + col + (row - 1) * kColumns;
    if (day < 1 || day > DaysInMonth(year_, month_))
        return {};
    return std::to_string(day);
}

void MonthCalendar::CellOfDay(int day, int &col, int &row) const
{
    const int index = day - monthOffset();
    col = index % kColumns;
    row = index / kColumns + 1;
}

bool MonthCalendar::CellAt(int x, int y, int &col, int &row) const
{
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kColumns; ++c)
            if (CellRect(c, r).Contains(x, y)) {
                col = c;
                row = r;
                return true;
            }
    return false;
}

int MonthCalendar::Col() const
{
    int col = 0, row = 0;
    CellOfDay(day_, col, row);
    return col;
}

int MonthCalendar::Row() const
{
    int col = 0, row = 0;
    CellOfDay(day_, col, row);
    return row;
}

qn::Canvas &MonthCalendar::Canvas()
{
    if (!canvas_ || image_.size() != size())
        paintCells();
    return *canvas_;
}

void MonthCalendar::invalidate()
{
    dirty_ = true;
    update();
}

void MonthCalendar::DrawCell(int ACol, int ARow, const CanvasRect &ARect, TGridDrawState)
{
    // Nothing but the text, centred; the cell is filled with the brush.
    const std::string text = CellText(ACol, ARow);
    qn::Canvas &can = *canvas_;
    can.FillRect(ARect, can.BrushColor());
    if (text.empty())
        return;
    can.SetBackgroundMode(BackgroundMode::Transparent);
    const int x = ARect.Left + PascalDiv(ARect.Width() - can.TextWidth(text), 2);
    const int y = ARect.Top + PascalDiv(ARect.Height() - can.Metrics().Height, 2);
    can.TextOut(x, y, text);
}

void MonthCalendar::paintCells()
{
    if (!canvas_ || image_.size() != size()) {
        canvas_.reset();
        image_ = QImage(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
        canvas_ = std::make_unique<QtCanvas>(&image_, 96, 96);
    }
    dirty_ = false;
    canvas_->SetPalette(palette());
    qn::Canvas &can = *canvas_;
    can.ClearClip();
    // Grid lines show between the cells; what is left at the right and the
    // bottom is background.
    can.FillRect({0, 0, width(), height()}, kSysColorWindow);
    const int gridWidth = kColumns * ColWidth() + (kColumns - 1) * GridLineWidth();
    const int gridHeight = kRows * RowHeight() + (kRows - 1) * GridLineWidth();
    can.FillRect({0, 0, gridWidth, gridHeight}, kSysColorButtonFace);
    can.SelectFont(FontSpecOf(font()));

    const int selectedCol = Col(), selectedRow = Row();
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kColumns; ++col) {
            TGridDrawState state = 0;
            if (row == 0) {
                state = gdFixed;
                can.SetBrush(kSysColorButtonFace);
                can.SetTextColor(kSysColorWindowText);
            } else if (col == selectedCol && row == selectedRow) {
                state = hasFocus() ? gdSelected | gdFocused : gdSelected;
                can.SetBrush(kSysColorHighlight);
                can.SetTextColor(kSysColorHighlightText);
            } else {
                can.SetBrush(kSysColorWindow);
                can.SetTextColor(kSysColorWindowText);
            }
            const CanvasRect cell = CellRect(col, row);
            can.SetClipRect(cell);
            DrawCell(col, row, cell, state);
            can.ClearClip();
        }
    }
}

void MonthCalendar::paintEvent(QPaintEvent *)
{
    if (dirty_ || !canvas_ || image_.size() != size())
        paintCells();
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void MonthCalendar::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    invalidate();
}

void MonthCalendar::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    setFocus(Qt::MouseFocusReason);
    int col = 0, row = 0;
    const QPoint at = event->position().toPoint();
    if (!CellAt(at.x(), at.y(), col, row) || row == 0)
        return;
    // Cells without a number cannot be selected.
    const std::string text = CellText(col, row);
    if (!text.empty())
        SetDay(std::stoi(text));
}

void MonthCalendar::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mouseDoubleClickEvent(event);
    int col = 0, row = 0;
    const QPoint at = event->position().toPoint();
    if (!CellAt(at.x(), at.y(), col, row) || row == 0 || CellText(col, row).empty())
        return;
    SetDay(std::stoi(CellText(col, row)));
    if (OnDblClick)
        OnDblClick();
}

void MonthCalendar::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
    case Qt::Key_Left:
        moveByDays(-1);
        break;
    case Qt::Key_Right:
        moveByDays(1);
        break;
    case Qt::Key_Up:
        moveByDays(-kColumns);
        break;
    case Qt::Key_Down:
        moveByDays(kColumns);
        break;
    case Qt::Key_PageUp:
        ctrl ? PrevYear() : PrevMonth();
        break;
    case Qt::Key_PageDown:
        ctrl ? NextYear() : NextMonth();
        break;
    case Qt::Key_Home:
        SetDay(1);
        break;
    case Qt::Key_End:
        SetDay(DaysInMonth(year_, month_));
        break;
    default:
        // Enter, Escape and the rest belong to the window.
        QWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

void MonthCalendar::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    invalidate();
    AnnounceCalendarDay(this);
}

void MonthCalendar::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    invalidate();
}

void MonthCalendar::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange)
        invalidate();
}

} // namespace qn
