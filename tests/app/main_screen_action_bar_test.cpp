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
#include <vector>

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

TEST(MainScreenActionBar, ButtonsKeepTheirPlacesWhenSaveAndCancelAppear)
{
    qn::test::TempDir dir;
    auto w = std::make_unique<TMainScreen>(dir.path().string());
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    w->QnRichText1->setFocus();
    QApplication::processEvents();

    auto places = [&] {
        std::vector<QRect> all;
        for (TFlatButton *b : {w->FirstButton, w->PriorButton, w->CalendarButton, w->Nextbutton,
                               w->LastButton, w->Hidebutton, w->FlatButton1})
            all.push_back(b->geometry());
        return all;
    };
    const auto shots = qn::test::binaryDir() / "screenshots";
    std::filesystem::create_directories(shots);
    ASSERT_TRUE(w->SaveButton->isHidden());
    const std::vector<QRect> before = places();
    w->ActionPanel->grab().save(QString::fromStdString((shots / "action_bar_clean.png").string()));

    QTest::keyClicks(w->QnRichText1, QStringLiteral("an edit"));
    QApplication::processEvents();
    ASSERT_FALSE(w->SaveButton->isHidden());
    EXPECT_EQ(places(), before);
    w->ActionPanel->grab().save(
        QString::fromStdString((shots / "action_bar_modified.png").string()));

    // A click aimed at Next while the entry is modified lands on Next.
    const TDateTime date = w->CurrentDate;
    QTest::mouseClick(w->Nextbutton, Qt::LeftButton, {}, before[3].center() - before[3].topLeft());
    EXPECT_EQ(w->CurrentDate, date + 1);
    QApplication::processEvents();
    EXPECT_TRUE(w->SaveButton->isHidden());
    EXPECT_EQ(places(), before);
}
