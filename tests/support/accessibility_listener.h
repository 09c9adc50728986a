#pragma once

// A screen reader in the test process: switches Qt's accessibility on and
// records every event the controls announce.
//
// Qt reports events to an update handler only while its platform
// accessibility is active, which only a bridge to a real accessibility bus
// switches on; QAccessible::setActive does not. On the offscreen platform
// the integration's own (default) accessibility object is switched on
// directly, through Qt's exported platform symbols.

#include <QAccessible>
#include <QAccessibleEvent>

#include <vector>

class QPlatformAccessibility {
public:
    void setActive(bool active);
};
class QPlatformIntegration {
public:
    QPlatformAccessibility *accessibility() const;
};
class QGuiApplicationPrivate {
public:
    static QPlatformIntegration *platform_integration;
};

namespace qn::test {

// One event as a reader gets it.
struct Heard {
    QAccessible::Event Type;
    QObject *Object;
    int Child = -1;
    int Position = -1; // caret, or where text went in or out
    int Start = -1, End = -1;
    QString Text; // inserted or removed text, or a new value
};

inline std::vector<Heard> &heardEvents()
{
    static std::vector<Heard> heard;
    return heard;
}

inline void recordAccessibleEvent(QAccessibleEvent *event)
{
    Heard h{event->type(), event->object(), event->child(), -1, -1, -1, {}};
    switch (event->type()) {
    case QAccessible::TextCaretMoved:
        h.Position = static_cast<QAccessibleTextCursorEvent *>(event)->cursorPosition();
        break;
    case QAccessible::TextSelectionChanged: {
        auto *e = static_cast<QAccessibleTextSelectionEvent *>(event);
        h.Start = e->selectionStart();
        h.End = e->selectionEnd();
        break;
    }
    case QAccessible::TextInserted: {
        auto *e = static_cast<QAccessibleTextInsertEvent *>(event);
        h.Position = e->changePosition();
        h.Text = e->textInserted();
        break;
    }
    case QAccessible::TextRemoved: {
        auto *e = static_cast<QAccessibleTextRemoveEvent *>(event);
        h.Position = e->changePosition();
        h.Text = e->textRemoved();
        break;
    }
    case QAccessible::ValueChanged:
        h.Text = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
        break;
    case QAccessible::Focus:
        if (QAccessibleInterface *iface = event->accessibleInterface())
            h.Text = iface->text(QAccessible::Name);
        break;
    default:
        break;
    }
    heardEvents().push_back(h);
}

class AccessibilityListener {
public:
    AccessibilityListener()
    {
        heardEvents().clear();
        setActive(true);
        previous_ = QAccessible::installUpdateHandler(recordAccessibleEvent);
    }
    ~AccessibilityListener()
    {
        QAccessible::installUpdateHandler(previous_);
        setActive(false);
        heardEvents().clear();
    }
    AccessibilityListener(const AccessibilityListener &) = delete;
    AccessibilityListener &operator=(const AccessibilityListener &) = delete;

    // False where this platform offers no accessibility to switch on.
    bool active() const { return QAccessible::isActive(); }

    std::vector<Heard> of(QObject *object, QAccessible::Event type) const
    {
        std::vector<Heard> found;
        for (const Heard &h : heardEvents())
            if (h.Object == object && h.Type == type)
                found.push_back(h);
        return found;
    }
    void clear() { heardEvents().clear(); }

private:
    static void setActive(bool on)
    {
        if (QGuiApplicationPrivate::platform_integration)
            if (QPlatformAccessibility *a =
                    QGuiApplicationPrivate::platform_integration->accessibility())
                a->setActive(on);
    }
    QAccessible::UpdateHandler previous_ = nullptr;
};

} // namespace qn::test
