#include "app/date_selector.h"

#include "app/action_bar_glyphs.h"
#include "app/dialog_keys.h"

#include "app/entry_glyph.h"
#include "platform/modal_result.h"
#include "widgets/graphic_panel.h"

#include <QKeyEvent>

namespace qn {

namespace {

QFont arialPixels(int pixels)
{
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(pixels);
    return font;
}

} // namespace

TDateSelector::TDateSelector(QWidget *parent) : QDialog(parent)
{
    // A dialog border without title-bar buttons.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowTitle(QStringLiteral("Select Date"));
    setFont(arialPixels(11));
    setFixedSize(358, 303);

    ShowDatePanel = new TGraphicPanel(this);
    ShowDatePanel->setObjectName(QStringLiteral("ShowDatePanel"));
    ShowDatePanel->setGeometry(0, 0, width(), 25);
    ShowDatePanel->SetAlign(alTop);
    FontSpec captionFont;
    captionFont.Name = "Arial";
    captionFont.PixelHeight = 13;
    captionFont.Bold = true;
    captionFont.Color = Rgb(0, 0, 0);
    ShowDatePanel->SetFont(captionFont);

    Calendar = new TCalendarWithGlyphs(this);
    Calendar->setObjectName(QStringLiteral("Calendar"));
    Calendar->setGeometry(21, 28, 316, 187);
    Calendar->SetStartOfWeek(0);
    Calendar->OnChange = [this] { CalendarChange(); };
    Calendar->OnDblClick = [this] { CalendarDblClick(); };
    Calendar->DayHasEntry = [this](int day) { return MarkedDays.contains(QString::number(day)); };
    Calendar->DrawCalendarCellEvent = [this](qn::Canvas &can, int32_t col, int32_t row,
                                             const CanvasRect &rect, TGridDrawState state,
                                             const std::string &text) {
        CalendarDrawCalendarCellEvent(can, col, row, rect, state, text);
    };

    PrevYear = makeButton("PrevYear", "Year-", "Show the previous year", {20, 225, 63, 23});
    PrevMonth = makeButton("PrevMonth", "Month-", "Show the previous month", {84, 225, 63, 23});
    DoCurrentDate = makeButton("DoCurrentDate", "Today", "Show today's date", {148, 225, 63, 23});
    NextMonth = makeButton("NextMonth", "Month +", "Show the next month", {212, 225, 63, 23});
    NextYear = makeButton("NextYear", "Year+", "Show the next year", {276, 225, 63, 23});
    // Readers say the signs of the captions as words; these read better.
    PrevYear->setAccessibleName(QStringLiteral("Previous year"));
    PrevMonth->setAccessibleName(QStringLiteral("Previous month"));
    NextMonth->setAccessibleName(QStringLiteral("Next month"));
    NextYear->setAccessibleName(QStringLiteral("Next year"));
    // The steps show the action bar's arrows: one arrow for a month, the
    // arrow to the end for a year.
    PrevYear->SetBitmap(ActionBarGlyph("first"));
    PrevMonth->SetBitmap(ActionBarGlyph("prev"));
    NextMonth->SetBitmap(ActionBarGlyph("next"));
    NextYear->SetBitmap(ActionBarGlyph("last"));
    OKButton = makeButton("OKButton", "Ok", "", {20, 261, 79, 34});
    CancelButton = makeButton("CancelButton", "Cancel", "", {261, 261, 79, 34});
    connect(PrevYear, &TSelectorButton::clicked, this, &TDateSelector::PrevYearClick);
    connect(PrevMonth, &TSelectorButton::clicked, this, &TDateSelector::PrevMonthClick);
    connect(DoCurrentDate, &TSelectorButton::clicked, this, &TDateSelector::DoCurrentDateClick);
    connect(NextMonth, &TSelectorButton::clicked, this, &TDateSelector::NextMonthClick);
    connect(NextYear, &TSelectorButton::clicked, this, &TDateSelector::NextYearClick);
    connect(OKButton, &TSelectorButton::clicked, this, &TDateSelector::OKButtonClick);
    connect(CancelButton, &TSelectorButton::clicked, this, &TDateSelector::CancelButtonClick);

    Image1 = EntryGlyph();
    Calendar->setFocus();
    FormCreate();
}

TDateSelector::~TDateSelector() = default;

TSelectorButton *TDateSelector::makeButton(const char *name, const char *caption, const char *hint,
                                           const QRect &place)
{
    auto *button = new TSelectorButton(this);
    button->setObjectName(QString::fromLatin1(name));
    button->SetCaption(QString::fromLatin1(caption));
    button->setGeometry(place);
    if (*hint)
        button->SetHint(QString::fromLatin1(hint));
    // Month and year steps carry their picture on the side they step to.
    button->SetLayout(place.left() > 200 ? blBitmapRight : blBitmapLeft);
    // Buttons never take the focus: the keys always reach the calendar,
    // which answers Enter and Escape for the dialog itself.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

void TDateSelector::FormCreate()
{
    FirstActivation = true;
    MarkedDays.clear();
    LastMonth = -1;
    LastYear = -1;
}

void TDateSelector::FormActivate()
{
    if (!FirstActivation)
        return;
    Calendar->SetCalendarDate(InitialDate);
    FirstActivation = false;
    CalendarChange();
}

void TDateSelector::CalendarChange()
{
    // The calendar fires while the form is being set up.
    if (FirstActivation)
        return;
    SelectedDate = Calendar->CalendarDate();
    ShowDatePanel->SetCaption(FormatDateTime("dddd, mmmm d, yyyy", SelectedDate));
    // The list changes with the month only: moving within a month does not
    // ask the caller (and its table) again.
    if (Calendar->Month() != LastMonth || Calendar->Year() != LastYear) {
        if (OnFillMonth)
            OnFillMonth(MarkedDays, Calendar->Year(), Calendar->Month());
        else
            MarkedDays.clear();
    }
    LastMonth = Calendar->Month();
    LastYear = Calendar->Year();
}

void TDateSelector::PrevYearClick()
{
    Calendar->PrevYear();
}

void TDateSelector::NextYearClick()
{
    Calendar->NextYear();
}

void TDateSelector::PrevMonthClick()
{
    Calendar->PrevMonth();
}

void TDateSelector::NextMonthClick()
{
    Calendar->NextMonth();
}

void TDateSelector::DoCurrentDateClick()
{
    Calendar->SetCalendarDate(Date());
}

void TDateSelector::OKButtonClick()
{
    done(mrOk);
}

void TDateSelector::CalendarDblClick()
{
    OKButtonClick();
}

void TDateSelector::CancelButtonClick()
{
    done(mrCancel);
}

void TDateSelector::reject()
{
    CancelButtonClick();
}

void TDateSelector::CalendarDrawCalendarCellEvent(qn::Canvas &can, int32_t, int32_t,
                                                  const CanvasRect &ARect, TGridDrawState,
                                                  const std::string &Celltext)
{
    if (Celltext.size() > 2)
        return;
    // The cell in the grid's colours, the number at its top right.
    can.SetBackgroundColor(can.BrushColor());
    can.ExtTextOut(ARect.Right - can.TextWidth(Celltext), ARect.Top, kTextOpaque | kTextClipped,
                   &ARect, Celltext);
    if (!MarkedDays.contains(QString::fromStdString(Celltext)))
        return;
    // The tag near the top left, its white ground left out.
    for (int y = 0; y < Image1.Height; ++y)
        for (int x = 0; x < Image1.Width; ++x)
            if (Image1.At(x, y) != kEntryGlyphGround)
                can.SetPixel(ARect.Left + 5 + x, ARect.Top + 2 + y, Image1.At(x, y));
}

bool TDateSelector::event(QEvent *event)
{
    if (event->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(event);
}

void TDateSelector::showEvent(QShowEvent *event)
{
    // The first showing counts as the first activation: a window that is
    // never activated (no window manager) still opens on its date.
    FormActivate();
    QDialog::showEvent(event);
}

void TDateSelector::keyPressEvent(QKeyEvent *event)
{
    if (!RunDialogKey(
            event, [this] { OKButtonClick(); }, [this] { CancelButtonClick(); }))
        QDialog::keyPressEvent(event);
}

} // namespace qn
