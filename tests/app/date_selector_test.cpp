#include "app/date_selector.h"
#include "app/entry_glyph.h"
#include "app/main_screen.h"
#include "engine/xdata_table.h"
#include "engine/xtable.h"
#include "platform/modal_result.h"
#include "widgets/graphic_panel.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>

using namespace qn;
namespace fs = std::filesystem;

namespace {

// A pixel of the glyph's red body, and two of its white ground: a corner
// and the tag's hole.
constexpr int kRedX = 10, kRedY = 3;
constexpr int kGroundX = 0, kGroundY = 0;
constexpr int kHoleX = 3, kHoleY = 11;

const QColor kRed(255, 0, 0);

// A dialog as a caller sets it up, with a fake diary of marked days that
// counts how often it is asked.
class DateSelectorTest : public testing::Test {
protected:
    std::unique_ptr<TDateSelector> d;
    std::map<std::pair<int, int>, QStringList> entries;
    int fills = 0;

    void open(int year, int month, int day)
    {
        d = std::make_unique<TDateSelector>();
        d->InitialDate = EncodeDate(year, month, day);
        d->OnFillMonth = [this](QStringList &list, int y, int m) {
            ++fills;
            list.clear();
            list = entries[{y, m}];
        };
        d->show();
    }
    TDateTime date() const { return d->Calendar->CalendarDate(); }
    std::string caption() const { return d->ShowDatePanel->Caption(); }
    std::string selectedText() const
    {
        return d->Calendar->CellText(d->Calendar->Col(), d->Calendar->Row());
    }
    QImage calendarImage() const { return d->Calendar->grab().toImage(); }
    CanvasRect cellOfDay(int day) const
    {
        int col = 0, row = 0;
        d->Calendar->CellOfDay(day, col, row);
        return d->Calendar->CellRect(col, row);
    }
    QPoint centreOf(const CanvasRect &r) const
    {
        return {(r.Left + r.Right) / 2, (r.Top + r.Bottom) / 2};
    }
    QColor glyphPixel(const QImage &image, int day, int x, int y) const
    {
        const CanvasRect cell = cellOfDay(day);
        return QColor(image.pixel(cell.Left + 5 + x, cell.Top + 2 + y));
    }
    QColor color(QPalette::ColorRole role) const
    {
        return QColor(d->Calendar->palette().color(QPalette::Active, role).rgb());
    }
    static int countPixels(const QImage &image, const QColor &c)
    {
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                n += QColor(image.pixel(x, y)) == c;
        return n;
    }
    void TearDown() override { ResetFormatSettings(); }
};

} // namespace

TEST(MonthCalendarGrid, DayNamesAndTheMonthFollowTheFirstDayOfTheWeek)
{
    TCalendarWithGlyphs calendar;
    calendar.resize(316, 187);
    calendar.SetCalendarDate(EncodeDate(2024, 2, 10)); // the 1st is a Thursday
    EXPECT_EQ(calendar.CellText(0, 0), "Sun");
    EXPECT_EQ(calendar.CellText(6, 0), "Sat");
    EXPECT_EQ(calendar.CellText(3, 1), "");
    EXPECT_EQ(calendar.CellText(4, 1), "1");
    EXPECT_EQ(calendar.CellText(4, 5), "29");
    EXPECT_EQ(calendar.CellText(5, 5), "");
    EXPECT_EQ(calendar.Col(), 6);
    EXPECT_EQ(calendar.Row(), 2);

    calendar.SetCalendarDate(EncodeDate(2024, 9, 1)); // a Sunday: no empty first row
    EXPECT_EQ(calendar.CellText(0, 1), "1");
    calendar.SetCalendarDate(EncodeDate(2024, 6, 1)); // a Saturday: six rows
    EXPECT_EQ(calendar.CellText(5, 1), "");
    EXPECT_EQ(calendar.CellText(6, 1), "1");
    EXPECT_EQ(calendar.CellText(0, 6), "30");
    EXPECT_EQ(calendar.CellText(1, 6), "");

    calendar.SetStartOfWeek(1);
    EXPECT_EQ(calendar.CellText(0, 0), "Mon");
    EXPECT_EQ(calendar.CellText(6, 0), "Sun");
    calendar.SetCalendarDate(EncodeDate(2024, 9, 1)); // Sunday, now the last column
    EXPECT_EQ(calendar.CellText(5, 1), "");
    EXPECT_EQ(calendar.CellText(6, 1), "1");

    // (316 - 6) div 7 and (187 - 6) div 7, one line between cells.
    EXPECT_EQ(calendar.ColWidth(), 44);
    EXPECT_EQ(calendar.RowHeight(), 25);
    EXPECT_EQ(calendar.CellRect(1, 1), (CanvasRect{45, 26, 89, 51}));
}

TEST_F(DateSelectorTest, OpensOnTheInitialDateWithItsMonthFilledOnce)
{
    entries[{2024, 3}] = {"5", "18"};
    open(2024, 3, 12);
    EXPECT_EQ(date(), EncodeDate(2024, 3, 12));
    EXPECT_EQ(d->SelectedDate, EncodeDate(2024, 3, 12));
    EXPECT_EQ(caption(), "Tuesday, March 12, 2024");
    EXPECT_EQ(fills, 1);
    EXPECT_EQ(d->MarkedDays, QStringList({"5", "18"}));
    EXPECT_EQ(d->LastMonth, 3);
    EXPECT_EQ(d->LastYear, 2024);
    EXPECT_EQ(d->windowTitle(), "Select Date");
    EXPECT_EQ(d->size(), QSize(358, 303));
    EXPECT_EQ(d->Calendar->geometry(), QRect(21, 28, 316, 187));
    EXPECT_EQ(d->ShowDatePanel->geometry(), QRect(0, 0, 358, 25));
    EXPECT_EQ(d->NextMonth->Caption(), "Month +");
    EXPECT_EQ(d->NextMonth->toolTip(), "Show the next month");
    EXPECT_EQ(d->CancelButton->geometry(), QRect(261, 261, 79, 34));
    // The keys go to the calendar from the start; the buttons never take them.
    EXPECT_EQ(d->focusWidget(), d->Calendar);
    EXPECT_EQ(d->OKButton->focusPolicy(), Qt::NoFocus);
}

TEST_F(DateSelectorTest, MonthStepsClampTheDayToTheNewMonth)
{
    open(2024, 1, 31);
    d->NextMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(selectedText(), "29");
    EXPECT_EQ(caption(), "Thursday, February 29, 2024");

    open(2023, 1, 31);
    d->NextMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2023, 2, 28));
    EXPECT_EQ(selectedText(), "28");

    open(2024, 3, 31);
    d->PrevMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2024, 2, 29));
    open(2023, 3, 31);
    d->PrevMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2023, 2, 28));

    open(2023, 12, 31);
    d->NextMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2024, 1, 31));
    d->PrevMonth->Click();
    EXPECT_EQ(date(), EncodeDate(2023, 12, 31));
}

TEST_F(DateSelectorTest, YearStepsTurnTheLeapDayIntoThe28th)
{
    open(2024, 2, 29);
    d->PrevYear->Click();
    EXPECT_EQ(date(), EncodeDate(2023, 2, 28));
    EXPECT_EQ(selectedText(), "28");
    open(2024, 2, 29);
    d->NextYear->Click();
    EXPECT_EQ(date(), EncodeDate(2025, 2, 28));
    // From the 28th a leap year is not pushed onto the 29th.
    open(2023, 2, 28);
    d->NextYear->Click();
    EXPECT_EQ(date(), EncodeDate(2024, 2, 28));

    d->DoCurrentDate->Click();
    EXPECT_EQ(date(), Date());
}

TEST_F(DateSelectorTest, GlyphsFollowTheMonthShownAndTheTableIsAskedOncePerMonth)
{
    entries[{2024, 3}] = {"5", "18"};
    open(2024, 3, 10);
    QImage march = calendarImage();
    EXPECT_EQ(glyphPixel(march, 5, kRedX, kRedY), kRed);
    EXPECT_EQ(glyphPixel(march, 18, kRedX, kRedY), kRed);
    EXPECT_NE(glyphPixel(march, 6, kRedX, kRedY), kRed);
    EXPECT_EQ(glyphPixel(march, 5, kGroundX, kGroundY), color(QPalette::Base));

    d->NextMonth->Click();
    EXPECT_EQ(fills, 2);
    EXPECT_TRUE(d->MarkedDays.isEmpty());
    EXPECT_EQ(countPixels(calendarImage(), kRed), 0);

    d->PrevMonth->Click();
    EXPECT_EQ(fills, 3);
    march = calendarImage();
    EXPECT_EQ(glyphPixel(march, 5, kRedX, kRedY), kRed);
    EXPECT_EQ(glyphPixel(march, 18, kRedX, kRedY), kRed);

    // Another day of the same month: a new caption, no new question.
    QTest::mouseClick(d->Calendar, Qt::LeftButton, {}, centreOf(cellOfDay(20)));
    EXPECT_EQ(date(), EncodeDate(2024, 3, 20));
    EXPECT_EQ(caption(), "Wednesday, March 20, 2024");
    EXPECT_EQ(fills, 3);
    // The same month of another year is another month.
    d->NextYear->Click();
    EXPECT_EQ(fills, 4);
}

TEST_F(DateSelectorTest, EmptyCellsStayEmptyAndCannotBeSelected)
{
    open(2024, 3, 10); // the 1st is a Friday, the 31st a Sunday
    const QImage image = calendarImage();
    const QColor window = color(QPalette::Base);
    int emptyCells = 0;
    for (int row = 1; row < 7; ++row) {
        for (int col = 0; col < 7; ++col) {
            if (!d->Calendar->CellText(col, row).empty())
                continue;
            ++emptyCells;
            const CanvasRect cell = d->Calendar->CellRect(col, row);
            for (int y = cell.Top; y < cell.Bottom; ++y)
                for (int x = cell.Left; x < cell.Right; ++x)
                    ASSERT_EQ(QColor(image.pixel(x, y)), window) << col << "," << row;
            QTest::mouseClick(d->Calendar, Qt::LeftButton, {}, centreOf(cell));
            QTest::mouseDClick(d->Calendar, Qt::LeftButton, {}, centreOf(cell));
        }
    }
    EXPECT_EQ(emptyCells, 11);
    // The day names are no days either.
    QTest::mouseClick(d->Calendar, Qt::LeftButton, {}, centreOf(d->Calendar->CellRect(3, 0)));
    EXPECT_EQ(date(), EncodeDate(2024, 3, 10));
    EXPECT_EQ(caption(), "Sunday, March 10, 2024");
    EXPECT_TRUE(d->isVisible());
}

TEST_F(DateSelectorTest, AMarkedSelectedDayShowsGlyphAndNumberOnTheSelectionColours)
{
    entries[{2024, 3}] = {"5", "18"};
    open(2024, 3, 5);
    const QImage image = calendarImage();
    const QColor highlight = color(QPalette::Highlight);
    const CanvasRect cell = cellOfDay(5);

    EXPECT_EQ(glyphPixel(image, 5, kRedX, kRedY), kRed);
    // The glyph's ground and its hole let the selection colour through.
    EXPECT_EQ(glyphPixel(image, 5, kGroundX, kGroundY), highlight);
    EXPECT_EQ(glyphPixel(image, 5, kHoleX, kHoleY), highlight);
    EXPECT_EQ(QColor(image.pixel(cell.Left, cell.Bottom - 1)), highlight);
    EXPECT_EQ(QColor(image.pixel(cell.Right - 1, cell.Bottom - 1)), highlight);

    // The number at the top right, in the selected text colour, clear of
    // the glyph: pixels nearer the ink than the ground (glyph edges are
    // smoothed, so few are the ink itself).
    auto distance = [](const QColor &a, const QColor &b) {
        return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
               std::abs(a.blue() - b.blue());
    };
    auto numberPixels = [&](const CanvasRect &c, const QColor &ink, const QColor &ground) {
        int n = 0;
        for (int y = c.Top; y < c.Top + 14; ++y)
            for (int x = c.Left + 22; x < c.Right; ++x) {
                const QColor p(image.pixel(x, y));
                n += distance(p, ink) < distance(p, ground);
            }
        return n;
    };
    EXPECT_GT(numberPixels(cell, color(QPalette::HighlightedText), highlight), 5);
    EXPECT_EQ(numberPixels(cell, color(QPalette::Text), highlight), 0);
    // A marked day that is not selected: the glyph on the window colour.
    EXPECT_EQ(glyphPixel(image, 18, kRedX, kRedY), kRed);
    EXPECT_EQ(glyphPixel(image, 18, kGroundX, kGroundY), color(QPalette::Base));
    EXPECT_GT(numberPixels(cellOfDay(18), color(QPalette::Text), color(QPalette::Base)), 5);
}

TEST_F(DateSelectorTest, TheKeyboardAloneMovesAcceptsAndCancels)
{
    entries[{2024, 2}] = {"1"};
    open(2024, 1, 31);
    QWidget *cal = d->Calendar;
    QTest::keyClick(cal, Qt::Key_Right);
    EXPECT_EQ(date(), EncodeDate(2024, 2, 1));
    EXPECT_EQ(d->MarkedDays, QStringList({"1"}));
    QTest::keyClick(cal, Qt::Key_Left);
    EXPECT_EQ(date(), EncodeDate(2024, 1, 31));
    QTest::keyClick(cal, Qt::Key_Down);
    EXPECT_EQ(date(), EncodeDate(2024, 2, 7));
    QTest::keyClick(cal, Qt::Key_Up);
    EXPECT_EQ(date(), EncodeDate(2024, 1, 31));
    QTest::keyClick(cal, Qt::Key_PageDown);
    EXPECT_EQ(date(), EncodeDate(2024, 2, 29));
    QTest::keyClick(cal, Qt::Key_PageUp);
    EXPECT_EQ(date(), EncodeDate(2024, 1, 29));
    QTest::keyClick(cal, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(date(), EncodeDate(2025, 1, 29));
    QTest::keyClick(cal, Qt::Key_Home);
    EXPECT_EQ(date(), EncodeDate(2025, 1, 1));
    QTest::keyClick(cal, Qt::Key_End);
    EXPECT_EQ(date(), EncodeDate(2025, 1, 31));
    EXPECT_EQ(caption(), "Friday, January 31, 2025");
    QTest::keyClick(cal, Qt::Key_Return);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), mrOk);

    open(2024, 1, 31);
    QTest::keyClick(d->Calendar, Qt::Key_Right);
    QTest::keyClick(d->Calendar, Qt::Key_Escape);
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), mrCancel);

    open(2024, 1, 31);
    d->CancelButton->Click();
    EXPECT_EQ(d->result(), mrCancel);
}

TEST_F(DateSelectorTest, ADoubleClickAcceptsThatDay)
{
    open(2024, 3, 10);
    QTest::mouseDClick(d->Calendar, Qt::LeftButton, {}, centreOf(cellOfDay(22)));
    EXPECT_FALSE(d->isVisible());
    EXPECT_EQ(d->result(), mrOk);
    EXPECT_EQ(date(), EncodeDate(2024, 3, 22));
}

// For review: a month with several marked days, one of them selected.
TEST_F(DateSelectorTest, Screenshot)
{
    entries[{2024, 3}] = {"3", "5", "12", "18", "26", "29"};
    open(2024, 3, 12);
    const fs::path dir = qn::test::binaryDir() / "screenshots";
    fs::create_directories(dir);
    const QImage shot = d->grab().toImage();
    ASSERT_TRUE(shot.save(QString::fromStdString((dir / "date_selector.png").string())));
    EXPECT_EQ(shot.size(), QSize(358, 303));
}

namespace {

// A main window on a diary of its own, and the dialog its Date button opens
// driven from inside its modal loop.
class CalendarButtonTest : public testing::Test {
protected:
    qn::test::TempDir dir;
    std::unique_ptr<TMainScreen> w;

    void SetUp() override
    {
        w = std::make_unique<TMainScreen>(dir.path().string());
        ASSERT_FALSE(w->StartFailed()) << w->OpenFailure();
        w->show();
        for (const char *key : {"20240310", "20240315", "20240320", "20240402"}) {
            w->DiaryTable->Append();
            w->DiaryTableDATE->SetAsString(key);
            w->DiaryTableENTRY->SetAsString(std::string("{\\rtf1 entry ") + key + "}");
            w->DiaryTable->Post();
        }
    }
    void TearDown() override
    {
        w.reset();
        ResetFormatSettings();
    }
    void goTo(int year, int month, int day)
    {
        w->CurrentDate = EncodeDate(year, month, day);
        w->FindDateRecord();
    }
    // Presses the Date button (or runs `press`); `drive` runs on the dialog
    // once it shows, from inside its modal loop.
    void pickWith(std::function<void(TDateSelector &)> drive, std::function<void()> press = nullptr)
    {
        bool driven = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto *dialog = qobject_cast<TDateSelector *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            poll.stop();
            driven = true;
            drive(*dialog);
            if (dialog->isVisible()) // a failed step must not leave the loop running
                dialog->done(mrCancel);
        });
        poll.start();
        if (press) {
            press();
            // A mnemonic clicks its button a moment later.
            for (int i = 0; i < 200 && !driven; ++i)
                QTest::qWait(10);
        } else {
            w->CalendarButton->Click();
        }
        EXPECT_TRUE(driven);
    }
};

} // namespace

TEST_F(CalendarButtonTest, OkOnADateWithAnEntryShowsItAndFindsItsRecord)
{
    goTo(2024, 3, 12);
    pickWith([](TDateSelector &dialog) {
        EXPECT_EQ(dialog.Calendar->CalendarDate(), EncodeDate(2024, 3, 12));
        EXPECT_EQ(dialog.MarkedDays, QStringList({"10", "15", "20"}));
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(dialog.Calendar, Qt::Key_Right);
        QTest::keyClick(dialog.Calendar, Qt::Key_Return);
    });
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 3, 15));
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240315");
    EXPECT_EQ(w->DateLabel->text(), "Friday, March 15, 2024");
}

TEST_F(CalendarButtonTest, CancelLeavesTheDateAndTheTableOnTheEntryOnScreen)
{
    goTo(2024, 3, 20);
    pickWith([](TDateSelector &dialog) {
        // Browsing April probes its keys and moves the record pointer.
        QTest::keyClick(dialog.Calendar, Qt::Key_PageDown);
        EXPECT_EQ(dialog.MarkedDays, QStringList({"2"}));
        QTest::keyClick(dialog.Calendar, Qt::Key_Escape);
    });
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 3, 20));
    EXPECT_TRUE(w->RecordFound);
    EXPECT_EQ(w->DiaryTableDATE->AsString(), "20240320");
    EXPECT_EQ(w->DateLabel->text(), "Wednesday, March 20, 2024");
}

TEST_F(CalendarButtonTest, AltDOpensTheCalendarFromTheKeyboard)
{
    goTo(2024, 3, 12);
    w->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    pickWith(
        [](TDateSelector &dialog) {
            QTest::keyClick(dialog.Calendar, Qt::Key_Up);
            QTest::keyClick(dialog.Calendar, Qt::Key_Enter); // the keypad's Enter
        },
        [this] { QTest::keyClick(w.get(), Qt::Key_D, Qt::AltModifier); });
    EXPECT_EQ(w->CurrentDate, EncodeDate(2024, 3, 5));
    EXPECT_FALSE(w->RecordFound);
}

TEST_F(DateSelectorTest, MonthAndYearStepsShowTheirPicturesOnTheSideTheyStepTo)
{
    open(2024, 5, 15);
    for (TSelectorButton *b : {d->PrevYear, d->PrevMonth})
        EXPECT_EQ(b->Layout(), blBitmapLeft) << b->objectName().toStdString();
    for (TSelectorButton *b : {d->NextMonth, d->NextYear})
        EXPECT_EQ(b->Layout(), blBitmapRight) << b->objectName().toStdString();
    for (TSelectorButton *b : {d->PrevYear, d->PrevMonth, d->NextMonth, d->NextYear}) {
        EXPECT_FALSE(b->Bitmap().IsEmpty()) << b->objectName().toStdString();
        // The picture is drawn: the button differs from one without it.
        TFlatButton bare;
        bare.resize(b->size());
        bare.setFont(b->font());
        bare.SetCaption(b->Caption());
        bare.SetLayout(b->Layout());
        bare.SetOptions(b->Options());
        EXPECT_NE(b->grab().toImage(), bare.grab().toImage()) << b->objectName().toStdString();
    }
    EXPECT_TRUE(d->DoCurrentDate->Bitmap().IsEmpty());
    const auto shots = qn::test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    d->grab().save(QString::fromStdString((shots / "date_selector.png").string()));
}
