#include "app/month_calendar_accessible.h"

#include "app/month_calendar.h"
#include "platform/qt/qt_text.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>

namespace qn {

namespace {

class CalendarDayAccessible : public QAccessibleInterface {
public:
    CalendarDayAccessible(MonthCalendar *calendar, int day) : calendar_(calendar), day_(day) {}

    bool isValid() const override
    {
        return calendar_ && day_ <= DaysInMonth(calendar_->Year(), calendar_->Month());
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return parent() ? parent()->window() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return calendar_ ? QAccessible::queryAccessibleInterface(calendar_.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && isValid())
            return CalendarDayName(*calendar_, day_);
        return QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        int col = 0, row = 0;
        calendar_->CellOfDay(day_, col, row);
        const CanvasRect r = calendar_->CellRect(col, row);
        return QRect(calendar_->mapToGlobal(QPoint(r.Left, r.Top)),
                     QSize(r.Right - r.Left, r.Bottom - r.Top));
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        if (!isValid()) {
            s.invalid = true;
            return s;
        }
        s.focusable = true;
        s.selectable = true;
        s.readOnly = true;
        s.selected = day_ == calendar_->Day();
        s.focused = s.selected && calendar_->hasFocus();
        s.invisible = !calendar_->isVisible();
        return s;
    }

private:
    QPointer<MonthCalendar> calendar_;
    int day_;
};

class MonthCalendarAccessible : public QAccessibleWidget {
public:
    explicit MonthCalendarAccessible(MonthCalendar *calendar)
        : QAccessibleWidget(calendar, QAccessible::List)
    {
    }
    ~MonthCalendarAccessible() override
    {
        for (QAccessible::Id id : std::as_const(days_))
            QAccessible::deleteAccessibleInterface(id);
    }

    MonthCalendar *calendar() const { return static_cast<MonthCalendar *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && calendar()->accessibleName().isEmpty())
            return QStringLiteral("Calendar");
        if (t == QAccessible::Value)
            return CalendarDayName(*calendar(), calendar()->Day());
        return QAccessibleWidget::text(t);
    }

    int childCount() const override { return DaysInMonth(calendar()->Year(), calendar()->Month()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        const int day = index + 1;
        auto it = days_.constFind(day);
        if (it != days_.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto *iface = new CalendarDayAccessible(calendar(), day);
        days_.insert(day, QAccessible::registerAccessibleInterface(iface));
        return iface;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = days_.constBegin(); it != days_.constEnd(); ++it)
            if (QAccessible::accessibleInterface(*it) == child)
                return it.key() - 1;
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const QPoint local = calendar()->mapFromGlobal(QPoint(x, y));
        int col = 0, row = 0;
        if (!calendar()->CellAt(local.x(), local.y(), col, row))
            return nullptr;
        const QString text = AnsiToQString(calendar()->CellText(col, row));
        bool number = false;
        const int day = text.toInt(&number);
        return number && row > 0 ? child(day - 1) : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        return calendar()->hasFocus() ? child(calendar()->Day() - 1) : nullptr;
    }

private:
    mutable QHash<int, QAccessible::Id> days_;
};

QAccessibleInterface *calendarFactory(const QString &, QObject *object)
{
    if (auto *calendar = qobject_cast<MonthCalendar *>(object))
        return new MonthCalendarAccessible(calendar);
    return nullptr;
}

} // namespace

QString CalendarDayName(const MonthCalendar &calendar, int day)
{
    TDateTime date = 0;
    if (!TryEncodeDate(calendar.Year(), calendar.Month(), day, date))
        return QString();
    QString name = AnsiToQString(FormatDateTime("dddd, mmmm d, yyyy", date));
    if (calendar.DayHasEntry)
        name += calendar.DayHasEntry(day) ? QStringLiteral(", has an entry")
                                          : QStringLiteral(", no entry");
    return name;
}

void AnnounceCalendarDay(MonthCalendar *calendar)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(calendar);
    if (!iface)
        return;
    QAccessibleValueChangeEvent changed(calendar, iface->text(QAccessible::Value));
    QAccessible::updateAccessibility(&changed);
    if (!calendar->hasFocus())
        return;
    if (QAccessibleInterface *day = iface->child(calendar->Day() - 1)) {
        QAccessibleEvent focused(day, QAccessible::Focus);
        QAccessible::updateAccessibility(&focused);
    }
}

void InstallCalendarAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(calendarFactory);
}

} // namespace qn
