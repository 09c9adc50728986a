// What a screen reader finds of the interface widgets: flat buttons as push
// buttons (or toggles) named without their accelerator marks, pressed through
// their actions; graphic panels as their text; headings; the ring panel as a
// plain container.
#include "widgets/flat_button.h"
#include "widgets/graphic_panel.h"
#include "widgets/ring_panel.h"
#include "widgets/widget_accessible.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

using namespace qn;

TEST(WidgetAccessible, AcceleratorMarksAreDropped)
{
    EXPECT_EQ(StripAccelerator("E&xit"), "Exit");
    EXPECT_EQ(StripAccelerator("&Save"), "Save");
    EXPECT_EQ(StripAccelerator("Fish && Chips"), "Fish & Chips");
    EXPECT_EQ(StripAccelerator("&&&Go"), "&Go");
    EXPECT_EQ(StripAccelerator("Trailing&"), "Trailing");
    EXPECT_EQ(StripAccelerator(""), "");
}

TEST(WidgetAccessible, FlatButtonIsANamedPushButtonPressedByItsAction)
{
    QWidget window;
    auto *b = new TFlatButton(&window);
    b->SetCaption("&Next");
    b->SetHint("Go to the next day");
    window.show();
    QSignalSpy clicks(b, &TFlatButton::clicked);

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(b);
    ASSERT_TRUE(iface);
    EXPECT_EQ(iface->role(), QAccessible::PushButton);
    EXPECT_EQ(iface->text(QAccessible::Name), "Next");
    EXPECT_EQ(iface->text(QAccessible::Description), "Go to the next day");
    EXPECT_EQ(iface->text(QAccessible::Accelerator), QKeySequence("Alt+N").toString());
    b->setAccessibleDescription("Moves on");
    EXPECT_EQ(iface->text(QAccessible::Description), "Moves on");

    QAccessibleActionInterface *actions = iface->actionInterface();
    ASSERT_TRUE(actions);
    EXPECT_EQ(actions->actionNames(), QStringList{QAccessibleActionInterface::pressAction()});
    EXPECT_EQ(actions->keyBindingsForAction(QAccessibleActionInterface::pressAction()),
              QStringList{QKeySequence("Alt+N").toString()});
    actions->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(clicks.count(), 0); // later, not inside the reader's call
    QTRY_COMPARE(clicks.count(), 1);

    // Disabled: no action, and a press asked anyway does nothing.
    b->setEnabled(false);
    EXPECT_TRUE(iface->state().disabled);
    EXPECT_TRUE(actions->actionNames().isEmpty());
    actions->doAction(QAccessibleActionInterface::pressAction());
    QTest::qWait(20);
    EXPECT_EQ(clicks.count(), 1);
}

TEST(WidgetAccessible, GroupedFlatButtonsAreToggles)
{
    QWidget window;
    auto *left = new TFlatButton(&window);
    auto *right = new TFlatButton(&window);
    left->SetCaption("Left");
    right->SetCaption("Right");
    left->SetGroupIndex(1);
    right->SetGroupIndex(1);
    right->move(60, 0);
    window.show();
    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(right);
    EXPECT_TRUE(iface->state().checkable);
    EXPECT_FALSE(iface->state().checked);
    iface->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QTRY_VERIFY(right->Down());
    EXPECT_TRUE(iface->state().checked);
}

TEST(WidgetAccessible, PanelsReadAsTheirTextHeadingsAsHeadingsRingsAsNothing)
{
    QWidget window;
    auto *panel = new TGraphicPanel(&window);
    auto *label = new QLabel("Thursday, February 29, 2024", &window);
    auto *ring = new TRingPanel(&window);
    QAccessibleInterface *l = QAccessible::queryAccessibleInterface(label);
    EXPECT_EQ(l->role(), QAccessible::StaticText); // made before the mark
    MarkAsHeading(label);
    l = QAccessible::queryAccessibleInterface(label);
    EXPECT_EQ(l->role(), QAccessible::Heading);
    EXPECT_EQ(l->text(QAccessible::Name), "Thursday, February 29, 2024");

    QAccessibleInterface *p = QAccessible::queryAccessibleInterface(panel);
    EXPECT_EQ(p->role(), QAccessible::Pane);
    EXPECT_TRUE(p->text(QAccessible::Name).isEmpty());
    panel->SetCaption("Friday, March 1, 2024");
    EXPECT_EQ(p->role(), QAccessible::StaticText);
    EXPECT_EQ(p->text(QAccessible::Name), "Friday, March 1, 2024");

    QAccessibleInterface *r = QAccessible::queryAccessibleInterface(ring);
    EXPECT_EQ(r->role(), QAccessible::Pane);
    EXPECT_TRUE(r->text(QAccessible::Name).isEmpty());
    EXPECT_EQ(r->childCount(), 0);
}
