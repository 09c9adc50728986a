#include "widgets/widget_accessible.h"

#include "platform/qt/qt_text.h"
#include "widgets/flat_button.h"
#include "widgets/graphic_panel.h"
#include "widgets/ring_panel.h"

#include <QAccessibleWidget>
#include <QKeySequence>
#include <QLabel>
#include <QPointer>
#include <QTimer>

namespace qn {

namespace {

const char kHeadingProperty[] = "qnHeading";

class FlatButtonAccessible : public QAccessibleWidget {
public:
    explicit FlatButtonAccessible(TFlatButton *button) : QAccessibleWidget(button) {}

    TFlatButton *button() const { return static_cast<TFlatButton *>(widget()); }

    QAccessible::Role role() const override
    {
        return button()->DropDownMenu() ? QAccessible::ButtonMenu : QAccessible::PushButton;
    }

    QString text(QAccessible::Text t) const override
    {
        switch (t) {
        case QAccessible::Name:
            return button()->accessibleName().isEmpty() ? StripAccelerator(button()->Caption())
                                                        : button()->accessibleName();
        case QAccessible::Description:
            return button()->accessibleDescription().isEmpty() ? button()->Hint()
                                                               : button()->accessibleDescription();
        case QAccessible::Accelerator: {
            const QKeySequence key = QKeySequence::mnemonic(button()->Caption());
            return key.toString(QKeySequence::NativeText);
        }
        default:
            return QAccessibleWidget::text(t);
        }
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        if (button()->GroupIndex() != 0) {
            s.checkable = true;
            s.checked = button()->Down();
        } else {
            s.pressed = button()->Down() || button()->Pressed();
        }
        if (button()->DropDownMenu())
            s.hasPopup = true;
        return s;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        if (button()->isEnabled())
            names << (button()->GroupIndex() != 0 ? toggleAction() : pressAction());
        return names;
    }

    void doAction(const QString &action) override
    {
        if (action != pressAction() && action != toggleAction())
            return;
        // Later, as a key press would be: the click may open a modal window,
        // and the caller waits for no window.
        QPointer<TFlatButton> target(button());
        QTimer::singleShot(0, target, [target] {
            if (target)
                target->Press();
        });
    }

    QStringList keyBindingsForAction(const QString &action) const override
    {
        const QString key = text(QAccessible::Accelerator);
        if ((action == pressAction() || action == toggleAction()) && !key.isEmpty())
            return {key};
        return {};
    }
};

// A panel that draws a caption: it reads as that text.
class GraphicPanelAccessible : public QAccessibleWidget {
public:
    explicit GraphicPanelAccessible(TGraphicPanel *panel) : QAccessibleWidget(panel) {}

    QAccessible::Role role() const override
    {
        auto *panel = static_cast<TGraphicPanel *>(widget());
        if (panel->property(kHeadingProperty).toBool())
            return QAccessible::Heading;
        return panel->Caption().empty() ? QAccessible::Pane : QAccessible::StaticText;
    }

    QString text(QAccessible::Text t) const override
    {
        auto *panel = static_cast<TGraphicPanel *>(widget());
        if (t == QAccessible::Name && panel->accessibleName().isEmpty())
            return AnsiToQString(panel->Caption());
        return QAccessibleWidget::text(t);
    }
};

// A label marked as a heading.
class HeadingAccessible : public QAccessibleWidget {
public:
    explicit HeadingAccessible(QLabel *label) : QAccessibleWidget(label, QAccessible::Heading) {}

    QString text(QAccessible::Text t) const override
    {
        auto *label = static_cast<QLabel *>(widget());
        if (t == QAccessible::Name && label->accessibleName().isEmpty())
            return StripAccelerator(label->text());
        return QAccessibleWidget::text(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        return s;
    }
};

QAccessibleInterface *widgetFactory(const QString &, QObject *object)
{
    if (auto *button = qobject_cast<TFlatButton *>(object))
        return new FlatButtonAccessible(button);
    if (auto *panel = qobject_cast<TGraphicPanel *>(object))
        return new GraphicPanelAccessible(panel);
    // The rings are painted, never objects of their own: what a reader
    // meets is a layout container without a name.
    if (auto *ring = qobject_cast<TRingPanel *>(object))
        return new QAccessibleWidget(ring, QAccessible::Pane);
    if (auto *label = qobject_cast<QLabel *>(object))
        if (label->property(kHeadingProperty).toBool())
            return new HeadingAccessible(label);
    return nullptr;
}

} // namespace

QString StripAccelerator(const QString &caption)
{
    QString plain;
    plain.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            plain += caption[i];
        else if (i + 1 < caption.size())
            plain += caption[++i]; // "&&" is an ampersand, "&x" the key x
    }
    return plain;
}

void InstallWidgetAccessibility()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    QAccessible::installFactory(widgetFactory);
}

void MarkAsHeading(QWidget *widget)
{
    InstallWidgetAccessibility();
    widget->setProperty(kHeadingProperty, true);
    // Qt makes a widget's interface with its first event and keeps it: one
    // made before the mark is made again.
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
    if (iface && iface->role() != QAccessible::Heading)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(iface));
}

} // namespace qn
