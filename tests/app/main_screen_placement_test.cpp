// The main window keeps its place between runs.
#include "app/main_screen.h"
#include "platform/datetime.h"
#include "platform/profile.h"
#include "widgets/save_form_state.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

namespace {

class MainScreenPlacementTest : public testing::Test {
protected:
    qn::test::TempDir dir;

    void TearDown() override { ResetFormatSettings(); }

    std::unique_ptr<TMainScreen> open()
    {
        auto w = std::make_unique<TMainScreen>(dir.path().string());
        w->show();
        QApplication::setActiveWindow(w.get());
        EXPECT_TRUE(QTest::qWaitForWindowExposed(w.get()));
        return w;
    }
    std::string iniFile() const { return PlacementFileName(dir.path().string()); }
    QRect screen() const { return QGuiApplication::primaryScreen()->geometry(); }
};

} // namespace

TEST_F(MainScreenPlacementTest, ClosedAndReopenedAtAnotherSizeAndPlace)
{
    // Another program's section in the same file stays as it is.
    qn::test::writeFile(iniFile(), "[TOther_Placement]\nLeft=7\n; a note\n");
    {
        auto w = open();
        EXPECT_EQ(w->SaveFormStateAndPosition1->SectionName, "TMainScreen_Placement");
        w->move(60, 40);
        w->resize(700, 500);
        QApplication::processEvents();
        w->close();
    }
    TProfileFile ini(iniFile());
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Left", -1), 60);
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Top", -1), 40);
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Right", -1), 760);
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Bottom", -1), 540);
    EXPECT_EQ(ini.ReadString("TMainScreen_Placement", "Maximized", ""), "0");
    EXPECT_EQ(ini.ReadInteger("TOther_Placement", "Left", -1), 7);
    EXPECT_NE(qn::test::readFile(iniFile()).find("; a note"), std::string::npos);

    auto again = open();
    EXPECT_EQ(again->pos(), QPoint(60, 40));
    EXPECT_EQ(again->size(), QSize(700, 500));
    // The page's controls follow the restored size.
    EXPECT_EQ(again->Bottomline->y(), 1 + again->RingPanel1->height() - 20);
}

TEST_F(MainScreenPlacementTest, DestroyingTheWindowSavesToo)
{
    {
        auto w = open();
        w->move(20, 30);
        w->resize(640, 480);
        QApplication::processEvents();
    } // destroyed without a close
    auto again = open();
    EXPECT_EQ(again->pos(), QPoint(20, 30));
    EXPECT_EQ(again->size(), QSize(640, 480));
}

TEST_F(MainScreenPlacementTest, AMaximizedWindowComesBackMaximizedOverItsNormalPlace)
{
    {
        auto w = open();
        w->move(30, 20);
        w->resize(620, 470);
        QApplication::processEvents();
        w->showMaximized();
        QApplication::processEvents();
        ASSERT_TRUE(w->isMaximized());
        w->close();
    }
    TProfileFile ini(iniFile());
    EXPECT_TRUE(ini.ReadBool("TMainScreen_Placement", "Maximized", false));
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Left", -1), 30);
    EXPECT_EQ(ini.ReadInteger("TMainScreen_Placement", "Right", -1), 650);

    auto again = open();
    EXPECT_TRUE(again->isMaximized());
    again->showNormal();
    QApplication::processEvents();
    EXPECT_EQ(again->pos(), QPoint(30, 20));
    EXPECT_EQ(again->size(), QSize(620, 470));
}

TEST_F(MainScreenPlacementTest, APlaceOffEveryScreenComesBackOntoTheScreen)
{
    // Saved on a monitor left of this one that is no longer there.
    qn::test::writeFile(iniFile(), "[TMainScreen_Placement]\nLeft=-2500\nTop=-900\n"
                                   "Right=-1900\nBottom=-450\nMaximized=0\n");
    auto w = open();
    EXPECT_EQ(w->size(), QSize(600, 450));
    EXPECT_TRUE(screen().contains(w->geometry())) << w->x() << "," << w->y();

    // Saved on a wider screen: moved left until its right edge meets this
    // screen's, keeping its size.
    w.reset();
    const int right = screen().right() + 1;
    qn::test::writeFile(iniFile(), "[TMainScreen_Placement]\nLeft=" + std::to_string(right - 300) +
                                       "\nTop=10\nRight=" + std::to_string(right + 310) +
                                       "\nBottom=470\nMaximized=0\n");
    w = open();
    EXPECT_EQ(w->size(), QSize(610, 460));
    EXPECT_EQ(w->x() + w->width(), right);
    EXPECT_EQ(w->y(), 10);
}

TEST_F(MainScreenPlacementTest, ADamagedFileGivesTheFirstRunPlace)
{
    const QPoint centred(screen().x() + (screen().width() - 610) / 2,
                         screen().y() + (screen().height() - 460) / 2);
    for (const std::string &bytes :
         {std::string("[TMainScreen_Placement]\nLeft=12\nTop=x\nRight=5\nBottom=9\n"),
          std::string("[TMainScreen_Placement]\nLeft=0\nTop=0\nRight=99999999\nBottom=80\n"),
          std::string("\x01\xff[TMainScreen_Placement\nLeft=\n\0\0\0", 37)}) {
        qn::test::writeFile(iniFile(), bytes);
        auto w = open();
        EXPECT_EQ(w->size(), QSize(610, 460));
        EXPECT_EQ(w->pos(), centred);
        w.reset();
    }
}
