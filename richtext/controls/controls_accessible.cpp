#include "richtext/controls/controls_accessible.h"

#include "richtext/controls/ruler.h"
#include "richtext/controls/status_bar.h"
#include "richtext/controls/tool_bar.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QHash>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace qn {

namespace {

// A drop-down list of the tool bar: named by its accessible name (Qt's own
// list takes its current text as the name on this platform); a colour list
// has the chosen colour's name as its value.
class ToolBarListAccessible : public QAccessibleWidget {
public:
    explicit ToolBarListAccessible(TQnTBCombo *list)
        : QAccessibleWidget(list, QAccessible::ComboBox)
    {
    }

    TQnTBCombo *list() const { return static_cast<TQnTBCombo *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Value)
            return QAccessibleWidget::text(t);
        if (list()->IsColorList())
            return list()->itemData(list()->currentIndex(), Qt::AccessibleTextRole).toString();
        return list()->isEditable() ? list()->lineEdit()->text().trimmed()
                                    : list()->currentText().trimmed();
    }

    // The drop-down's list, and the edit field of an editable list.
    int childCount() const override { return list()->isEditable() ? 2 : 1; }
    QAccessibleInterface *child(int index) const override
    {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(list()->view());
        if (index == 1 && list()->isEditable())
            return QAccessible::queryAccessibleInterface(list()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        if (!child)
            return -1;
        if (child->object() == list()->view())
            return 0;
        if (list()->isEditable() && child->object() == list()->lineEdit())
            return 1;
        return -1;
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.hasPopup = true;
        s.expandable = true;
        s.expanded = list()->view()->isVisible();
        s.collapsed = !s.expanded;
        s.editable = list()->isEditable();
        return s;
    }

    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString &action) override
    {
        if (action == showMenuAction() || action == pressAction())
            list()->showPopup();
    }
};

// One panel of the status bar, a label.
class StatusPanelAccessible : public QAccessibleInterface {
public:
    StatusPanelAccessible(TQnStatusBarBasic *bar, int index) : bar_(bar), index_(index) {}

    bool isValid() const override
    {
        return bar_ && index_ < static_cast<int>(bar_->Panels().size());
    }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return parent() ? parent()->window() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return bar_ ? QAccessible::queryAccessibleInterface(bar_.data()) : nullptr;
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    QAccessible::Role role() const override { return QAccessible::StaticText; }
    QString text(QAccessible::Text t) const override
    {
        if (!isValid() || t != QAccessible::Name)
            return QString();
        return bar_->Panels()[index_].Text;
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        if (!isValid())
            return QRect();
        const QRect r = bar_->PanelRect(index_);
        return QRect(bar_->mapToGlobal(r.topLeft()), r.size());
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.readOnly = true;
        s.invisible = !isValid() || !bar_->isVisible();
        s.disabled = isValid() && (bar_->Panels()[index_].Flags & kPanelGrayed);
        return s;
    }

private:
    QPointer<TQnStatusBarBasic> bar_;
    int index_;
};

// The status bar and its panels; the panels' interfaces live as long as it.
class StatusBarAccessible : public QAccessibleWidget {
public:
    explicit StatusBarAccessible(TQnStatusBarBasic *bar)
        : QAccessibleWidget(bar, QAccessible::StatusBar)
    {
    }
    ~StatusBarAccessible() override
    {
        for (QAccessible::Id id : std::as_const(panels_))
            QAccessible::deleteAccessibleInterface(id);
    }

    TQnStatusBarBasic *bar() const { return static_cast<TQnStatusBarBasic *>(widget()); }

    int childCount() const override { return static_cast<int>(bar()->Panels().size()); }
    QAccessibleInterface *child(int index) const override
    {
        if (index < 0 || index >= childCount())
            return nullptr;
        auto it = panels_.constFind(index);
        if (it != panels_.constEnd())
            return QAccessible::accessibleInterface(*it);
        auto *panel = new StatusPanelAccessible(bar(), index);
        panels_.insert(index, QAccessible::registerAccessibleInterface(panel));
        return panel;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        for (auto it = panels_.constBegin(); it != panels_.constEnd(); ++it)
            if (QAccessible::accessibleInterface(*it) == child)
                return it.key();
        return -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        for (int i = 0; i < childCount(); ++i)
            if (QAccessibleInterface *c = child(i); c->rect().contains(x, y))
                return c;
        return nullptr;
    }

private:
    mutable QHash<int, QAccessible::Id> panels_;
};

// The ruler: a named panel whose description is the paragraph's layout.
class RulerAccessible : public QAccessibleWidget {
public:
    explicit RulerAccessible(TQnRuler *ruler) : QAccessibleWidget(ruler, QAccessible::Pane) {}

    QString text(QAccessible::Text t) const override
    {
        auto *ruler = static_cast<TQnRuler *>(widget());
        if (t == QAccessible::Name && ruler->accessibleName().isEmpty())
            return QStringLiteral("Ruler");
        if (t == QAccessible::Description && ruler->accessibleDescription().isEmpty())
            return RulerDescription(*ruler);
        return QAccessibleWidget::text(t);
    }
};

// A two-state picture button of the tool bar: a check box named by its
// hint, pressed or toggled as a click does (later, as the click may open a
// window).
class ToolBarButtonAccessible : public QAccessibleWidget {
public:
    explicit ToolBarButtonAccessible(QToolButton *button)
        : QAccessibleWidget(button,
                            button->isCheckable() ? QAccessible::CheckBox : QAccessible::PushButton)
    {
    }

    QToolButton *button() const { return static_cast<QToolButton *>(widget()); }

    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description && button()->accessibleDescription().isEmpty())
            return QString();
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = button()->isCheckable();
        s.checked = button()->isChecked();
        s.pressed = button()->isDown();
        return s;
    }

    QStringList actionNames() const override
    {
        if (!button()->isEnabled())
            return {};
        return {button()->isCheckable() ? toggleAction() : pressAction()};
    }

    void doAction(const QString &action) override
    {
        if (action != toggleAction() && action != pressAction())
            return;
        QPointer<QToolButton> target(button());
        QTimer::singleShot(0, target, [target] {
            if (target && target->isEnabled())
                target->click();
        });
    }
};

QAccessibleInterface *controlsFactory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<QToolButton *>(object))
        if (qobject_cast<TQnToolBar *>(button->parent()))
            return new ToolBarButtonAccessible(button);
    if (auto *list = qobject_cast<TQnTBCombo *>(object))
        return new ToolBarListAccessible(list);
    if (auto *ruler = qobject_cast<TQnRuler *>(object))
        return new RulerAccessible(ruler);
    if (auto *bar = qobject_cast<TQnStatusBarBasic *>(object))
        return new StatusBarAccessible(bar);
    return nullptr;
}

QString measure(int32_t twips, bool inch)
{
    const double value = (inch ? twips / 1440.0 : twips / 1440.0 * 2.54) * 100;
    return QStringLiteral("%1 %2").arg(QString::number(std::round(value) / 100, 'g', 6),
                                       inch ? QStringLiteral("in") : QStringLiteral("cm"));
}

QString tabKindName(uint8_t kind)
{
    switch (kind) {
    case tkRight:
        return QStringLiteral("right");
    case tkCenter:
        return QStringLiteral("centre");
    case tkDecimal:
        return QStringLiteral("decimal");
    default:
        return QStringLiteral("left");
    }
}

} // namespace

QString RulerDescription(const TQnRuler &ruler)
{
    const TTextHeader &h = ruler.Header();
    const bool inch = ruler.Units() == Inch;
    QString text = QStringLiteral("First line indent %1, left indent %2, right indent %3")
                       .arg(measure(h.RulerFirstIndent, inch), measure(h.RulerLeftIndent, inch),
                            measure(h.RulerRightIndent, inch));
    std::vector<std::pair<int32_t, uint8_t>> tabs;
    for (int slot = 0; slot < kTabSlots; ++slot)
        if ((h.RulerTabMask & (1u << slot)) && h.TabPosTwips[slot] > 0)
            tabs.emplace_back(h.TabPosTwips[slot], h.TabKind[slot]);
    std::sort(tabs.begin(), tabs.end());
    if (tabs.empty())
        return text + QStringLiteral("; no tab stops");
    QStringList stops;
    for (const auto &[position, kind] : tabs)
        stops << QStringLiteral("%1 (%2)").arg(measure(position, inch), tabKindName(kind));
    return text + QStringLiteral("; tab stops at ") + stops.join(QStringLiteral(", "));
}

void InstallControlsAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(controlsFactory);
}

} // namespace qn
