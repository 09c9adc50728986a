// A flat button under real mouse and key events.
#include "widgets/flat_button.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace qn;

namespace {

CanvasBitmap arrow()
{
    CanvasBitmap b(16, 16, Rgb(255, 0, 255));
    for (int i = 0; i < 6; ++i)
        for (int y = 8 - i; y <= 8 + i; ++y)
            b.Set(4 + i, y, Rgb(0, 64, 200));
    return b;
}

class FlatButtonGuiTest : public testing::Test {
protected:
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TFlatButton *button = nullptr;
    int clicks = 0;

    void SetUp() override
    {
        window->resize(300, 120);
        button = make(window.get(), "&Next", 10, 10);
        // The new window must not open under the pointer of the last case.
        QCursor::setPos(QPoint(780, 580));
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        // Away from every button, once what showing the window stirred is done.
        QApplication::processEvents();
        QTest::mouseMove(window.get(), QPoint(290, 110));
        QTest::mouseMove(window.get(), QPoint(295, 115));
        ASSERT_FALSE(button->MouseInControl());
    }
    TFlatButton *make(QWidget *parent, const QString &caption, int x, int y)
    {
        auto *b = new TFlatButton(parent);
        b->SetCaption(caption);
        b->SetBitmap(arrow());
        b->SetLayout(blBitmapLeft);
        b->setGeometry(x, y, 80, 32);
        b->OnClick = [this] { ++clicks; };
        return b;
    }
    // The colour on screen at a point of the button.
    QString pixel(TFlatButton *b, QPoint p) { return b->grab().toImage().pixelColor(p).name(); }
    QString light() const { return button->palette().color(QPalette::Light).name(); }
    QString dark() const { return button->palette().color(QPalette::Dark).name(); }
    QPoint centre(TFlatButton *b) const { return b->rect().center(); }
};

} // namespace

TEST_F(FlatButtonGuiTest, HoverRaisesTheFrameAndLeavingFlattensIt)
{
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_NE(pixel(button, {0, 16}), light());
    QTest::mouseMove(button, centre(button));
    EXPECT_TRUE(button->MouseInControl());
    EXPECT_EQ(pixel(button, {0, 16}), light()) << "left edge light";
    EXPECT_EQ(pixel(button, {79, 16}), dark()) << "right edge in shadow";
    QTest::mouseMove(window.get(), QPoint(200, 100));
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_NE(pixel(button, {0, 16}), light());
}

TEST_F(FlatButtonGuiTest, PressSinksReleaseClicksOnce)
{
    QTest::mouseMove(button, centre(button));
    QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
    EXPECT_TRUE(button->Pressed());
    EXPECT_EQ(pixel(button, {0, 16}), dark()) << "the pressed frame is the reverse";
    EXPECT_EQ(clicks, 0) << "the click comes with the release";
    QTest::mouseRelease(button, Qt::LeftButton, {}, centre(button));
    EXPECT_EQ(clicks, 1);
    EXPECT_FALSE(button->Pressed());
    // After the click the button is flat until the mouse comes in again.
    EXPECT_FALSE(button->MouseInControl());
}

TEST_F(FlatButtonGuiTest, ReleasingOutsideFiresNoClickAndLeavesItFlat)
{
    QTest::mouseMove(button, centre(button));
    QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
    QTest::mouseMove(button, QPoint(150, 60));
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_NE(pixel(button, {0, 16}), dark()) << "off the button it no longer looks pressed";
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(150, 60));
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button->Pressed());
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_NE(pixel(button, {0, 16}), light());
    EXPECT_NE(pixel(button, {0, 16}), dark());
}

TEST_F(FlatButtonGuiTest, ToggleGroupsAmongButtonsOfOneParent)
{
    TFlatButton *second = make(window.get(), "Two", 100, 10);
    TFlatButton *third = make(window.get(), "Three", 190, 10);
    auto *other = new QWidget(window.get());
    other->setGeometry(0, 60, 300, 50);
    TFlatButton *elsewhere = make(other, "Away", 10, 5);
    for (TFlatButton *b : {button, second, third, elsewhere}) {
        b->SetGroupIndex(1);
        b->show();
    }
    third->SetGroupIndex(2);
    elsewhere->SetDown(true);

    QTest::mouseClick(button, Qt::LeftButton, {}, centre(button));
    EXPECT_TRUE(button->Down());
    EXPECT_EQ(clicks, 1);
    QTest::mouseClick(second, Qt::LeftButton, {}, centre(second));
    EXPECT_TRUE(second->Down());
    EXPECT_FALSE(button->Down()) << "one down per group";
    EXPECT_TRUE(elsewhere->Down()) << "another parent is another group";
    QTest::mouseClick(third, Qt::LeftButton, {}, centre(third));
    EXPECT_TRUE(third->Down());
    EXPECT_TRUE(second->Down()) << "another group index";

    // A down button stays down when clicked, unless all may be up.
    QTest::mouseClick(second, Qt::LeftButton, {}, centre(second));
    EXPECT_TRUE(second->Down());
    button->SetAllowAllUp(true);
    EXPECT_TRUE(second->AllowAllUp()) << "copied through the group";
    EXPECT_FALSE(third->AllowAllUp());
    EXPECT_FALSE(elsewhere->AllowAllUp());
    QTest::mouseClick(second, Qt::LeftButton, {}, centre(second));
    EXPECT_FALSE(second->Down());
    EXPECT_EQ(clicks, 5);

    // Leaving the group releases; Down means nothing without a group.
    third->SetGroupIndex(0);
    EXPECT_FALSE(third->Down());
    third->SetDown(true);
    EXPECT_FALSE(third->Down());
}

TEST_F(FlatButtonGuiTest, EnterAndEscapeInADialog)
{
    QDialog dialog(window.get());
    dialog.resize(260, 100);
    auto *edit = new QLineEdit(&dialog);
    edit->setGeometry(10, 10, 200, 24);
    TFlatButton *ok = make(&dialog, "OK", 10, 50);
    TFlatButton *cancel = make(&dialog, "Cancel", 100, 50);
    int okClicks = 0, cancelClicks = 0;
    ok->OnClick = [&] { ++okClicks; };
    cancel->OnClick = [&] { ++cancelClicks; };
    ok->SetDefault(true);
    cancel->SetCancel(true);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    edit->setFocus();

    QTest::keyClick(edit, Qt::Key_Return);
    QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(okClicks, 2);
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(cancelClicks, 1);
    EXPECT_TRUE(dialog.isVisible()) << "Escape went to the cancel button, not the dialog";
    // The keys go on to the dialog's default handling when the button may
    // not take them.
    ok->setEnabled(false);
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_EQ(okClicks, 2);
    // Keys of another window are not theirs.
    QTest::keyClick(window.get(), Qt::Key_Return);
    EXPECT_EQ(okClicks, 2);
    EXPECT_EQ(cancelClicks, 1);
    cancel->hide();
    QTest::keyClick(edit, Qt::Key_Escape);
    EXPECT_EQ(cancelClicks, 1);
    EXPECT_FALSE(dialog.isVisible()) << "the dialog's own Escape";
}

TEST_F(FlatButtonGuiTest, AcceleratorClicksAsAMouseWould)
{
    TFlatButton *other = make(window.get(), "P&rev", 100, 10);
    other->show();
    int otherClicks = 0;
    other->OnClick = [&] { ++otherClicks; };
    QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(otherClicks, 0);
    EXPECT_FALSE(button->MouseInControl()) << "the mouse is elsewhere";
    EXPECT_FALSE(button->Pressed());
    QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
    EXPECT_EQ(otherClicks, 1);

    // A changed caption moves the accelerator; a disabled button has none.
    button->SetCaption("Ne&xt");
    QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(clicks, 1);
    QTest::keyClick(window.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(clicks, 2);
    button->setEnabled(false);
    QTest::keyClick(window.get(), Qt::Key_X, Qt::AltModifier);
    EXPECT_EQ(clicks, 2);
}

TEST_F(FlatButtonGuiTest, DropDownMenuOpensOnPressAndFiresNoClick)
{
    QMenu menu;
    menu.addAction("One");
    button->SetDropDownMenu(&menu);
    QSignalSpy shown(&menu, &QMenu::aboutToShow);
    QPoint menuAt;
    QTimer::singleShot(50, [&] {
        menuAt = menu.pos();
        menu.close();
    });
    QTest::mouseClick(button, Qt::LeftButton, {}, centre(button));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(menuAt, button->mapToGlobal(QPoint(0, button->height())))
        << "at the bottom left corner";
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button->Pressed());
}

TEST_F(FlatButtonGuiTest, RightClickOpensThePopupMenu)
{
    QMenu menu;
    menu.addAction("One");
    button->SetPopupMenu(&menu);
    QSignalSpy shown(&menu, &QMenu::aboutToShow);
    QTimer::singleShot(50, [&] { menu.close(); });
    QTest::mouseClick(button, Qt::RightButton, {}, centre(button));
    EXPECT_EQ(shown.count(), 1);
    EXPECT_EQ(clicks, 0);
    EXPECT_FALSE(button->Pressed());
}

TEST_F(FlatButtonGuiTest, DisablingAHoveredButtonFlattensItAtOnce)
{
    QTest::mouseMove(button, centre(button));
    ASSERT_TRUE(button->MouseInControl());
    button->setEnabled(false);
    EXPECT_FALSE(button->MouseInControl());
    EXPECT_NE(pixel(button, {0, 16}), light());
    QTest::mouseClick(button, Qt::LeftButton, {}, centre(button));
    EXPECT_EQ(clicks, 0);
}

TEST_F(FlatButtonGuiTest, GreyUntilHovered)
{
    // The arrow's blue shows only under the mouse.
    auto blueCount = [&] {
        QImage image = button->grab().toImage();
        int blue = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (image.pixelColor(x, y) == QColor(0, 64, 200))
                    ++blue;
        return blue;
    };
    EXPECT_EQ(blueCount(), 0);
    QTest::mouseMove(button, centre(button));
    EXPECT_EQ(blueCount(), 36) << "every pixel of the arrow";
}

TEST_F(FlatButtonGuiTest, Screenshots)
{
    window->resize(280, 60);
    TFlatButton *prev = make(window.get(), "&Prev", 100, 10);
    prev->SetLayout(blBitmapLeft);
    prev->show();
    button->SetLayout(blBitmapRight);
    QMenu menu;
    TFlatButton *more = make(window.get(), "More", 190, 10);
    more->SetDropDownMenu(&menu);
    more->show();
    const auto dir = qn::test::binaryDir() / "screenshots";
    std::filesystem::create_directories(dir);
    auto save = [&](const char *name) {
        QImage image = window->grab().toImage();
        ASSERT_FALSE(image.isNull());
        // Three times as large, so that single pixels can be told apart.
        EXPECT_TRUE(
            image.scaled(image.size() * 3).save(QString::fromStdString((dir / name).string())));
    };
    QTest::mouseMove(button, centre(button));
    save("flat_button_hovered.png");
    QTest::mousePress(button, Qt::LeftButton, {}, centre(button));
    save("flat_button_pressed.png");
    QTest::mouseRelease(button, Qt::LeftButton, {}, centre(button));
    EXPECT_EQ(clicks, 1);
}
