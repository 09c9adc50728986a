// The action bar's flat buttons answer the mouse and their accelerators.
#include "app/main_screen.h"
#include "platform/datetime.h"
#include "widgets/save_form_state.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

using namespace qn;

TEST(MainScreenActionBar, AcceleratorsAndClicksMoveTheDate)
{
    qn::test::TempDir dir;
    auto w = std::make_unique<TMainScreen>(dir.path().string());
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));

    w->CurrentDate = EncodeDate(2024, 2, 28);
    QTest::keyClick(w.get(), Qt::Key_N, Qt::AltModifier);
    EXPECT_EQ(w->DateLabel->text(), "Thursday, February 29, 2024");
    QTest::keyClick(w.get(), Qt::Key_P, Qt::AltModifier);
    QTest::keyClick(w.get(), Qt::Key_P, Qt::AltModifier);
    EXPECT_EQ(w->DateLabel->text(), "Tuesday, February 27, 2024");

    // Hidden Save has no accelerator; the hovered Next shows its picture.
    EXPECT_FALSE(w->SaveButton->isVisible());
    QTest::mouseMove(w->Nextbutton, w->Nextbutton->rect().center());
    EXPECT_TRUE(w->Nextbutton->MouseInControl());
    const auto shots = qn::test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    QImage bar = w->ActionPanel->grab().toImage();
    EXPECT_TRUE(bar.scaled(bar.size() * 2)
                    .save(QString::fromStdString((shots / "action_bar_hovered.png").string())));
    QTest::mouseClick(w->Nextbutton, Qt::LeftButton, {}, w->Nextbutton->rect().center());
    EXPECT_EQ(w->DateLabel->text(), "Wednesday, February 28, 2024");
}
