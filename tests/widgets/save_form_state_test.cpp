// Keeping a window's place: names, where a saved place lands, and the errors.
#include "platform/profile.h"
#include "widgets/save_form_state.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace qn;

namespace {

class TPlacedForm : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
};

QRect primary()
{
    return QGuiApplication::primaryScreen()->geometry();
}

} // namespace

TEST(SaveFormState, TheOwnerMustBeAForm)
{
    QWidget form;
    auto *child = new QWidget(&form);
    try {
        TSaveFormStateAndPosition keeper(child);
        FAIL() << "accepted a control as its owner";
    } catch (const ESaveFormStateAndPositionError &e) {
        EXPECT_STREQ(e.what(), "Control parent must be a form!");
    }
    EXPECT_THROW(TSaveFormStateAndPosition(nullptr), ESaveFormStateAndPositionError);
}

TEST(SaveFormState, NamesAfterTheProgramAndTheFormClass)
{
    qn::test::TempDir dir;
    const std::string program =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    EXPECT_EQ(PlacementFileName(dir.path().string()), (dir / (program + ".INI")).string());
    // A file of that name in another case is the same file.
    qn::test::writeFile(dir / (program + ".ini"), "");
    EXPECT_EQ(PlacementFileName(dir.path().string()), (dir / (program + ".ini")).string());

    TPlacedForm form;
    auto *keeper = new TSaveFormStateAndPosition(&form);
    keeper->IniFileName = (dir / "place.ini").string();
    keeper->Loaded();
    EXPECT_EQ(keeper->SectionName, "TPlacedForm_Placement");
}

TEST(SaveFormState, PlacesOnTheScreensThereAreNow)
{
    const std::vector<QRect> one{QRect(0, 0, 1024, 768)};
    // Fits: unchanged.
    EXPECT_EQ(PlaceOnScreens(QRect(10, 20, 600, 400), one), QRect(10, 20, 600, 400));
    // Past the right and bottom edges: shifted back, never shrunk, even
    // when that starts it left of the screen.
    EXPECT_EQ(PlaceOnScreens(QRect(700, 500, 600, 400), one), QRect(424, 368, 600, 400));
    EXPECT_EQ(PlaceOnScreens(QRect(100, 0, 1200, 300), one), QRect(-176, 0, 1200, 300));
    // Partly above or left of the screen but still on it: left as it is.
    EXPECT_EQ(PlaceOnScreens(QRect(-50, -10, 600, 400), one), QRect(-50, -10, 600, 400));
    // On no screen at all: onto the first (primary) screen.
    EXPECT_EQ(PlaceOnScreens(QRect(-3000, 200, 600, 400), one), QRect(0, 0, 600, 400));
    EXPECT_EQ(PlaceOnScreens(QRect(5000, 5000, 600, 400), one), QRect(0, 0, 600, 400));

    // Two monitors: a window on the second stays there.
    const std::vector<QRect> two{QRect(0, 0, 1024, 768), QRect(1024, 0, 1280, 1024)};
    EXPECT_EQ(PlaceOnScreens(QRect(1500, 600, 600, 400), two), QRect(1500, 600, 600, 400));
    EXPECT_EQ(PlaceOnScreens(QRect(2000, 100, 600, 400), two), QRect(1704, 100, 600, 400));
}

TEST(SaveFormState, RestoresSavesAndCentresAsDefault)
{
    qn::test::TempDir dir;
    const std::string ini = (dir / "place.INI").string();
    {
        TPlacedForm form;
        form.resize(300, 200);
        auto *keeper = new TSaveFormStateAndPosition(&form);
        keeper->IniFileName = ini;
        keeper->Loaded();
        const QRect screen = primary();
        EXPECT_EQ(form.pos(), QPoint(screen.x() + (screen.width() - 300) / 2,
                                     screen.y() + (screen.height() - 200) / 2));
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
        // Left and Top are where move() puts the window's frame; Right and
        // Bottom add the size resize() gives it, so a restore is exact
        // whatever the decoration.
        form.move(40, 50);
        form.resize(320, 210);
        QApplication::processEvents();
        form.close();
    }
    TProfileFile file(ini);
    EXPECT_EQ(file.ReadInteger("TPlacedForm_Placement", "Left", -1), 40);
    EXPECT_EQ(file.ReadInteger("TPlacedForm_Placement", "Bottom", -1), 260);

    // Without CenterAsDefault and nothing saved, the form stays put.
    TPlacedForm other;
    other.move(7, 8);
    auto *keeper = new TSaveFormStateAndPosition(&other);
    keeper->IniFileName = (dir / "none.INI").string();
    keeper->CenterAsDefault = false;
    keeper->Loaded();
    EXPECT_EQ(other.pos(), QPoint(7, 8));
    // Without SavePlacement nothing is restored nor written.
    TPlacedForm quiet;
    quiet.move(9, 9);
    auto *silent = new TSaveFormStateAndPosition(&quiet);
    silent->IniFileName = ini;
    silent->SectionName = "TPlacedForm_Placement";
    silent->SavePlacement = false;
    silent->Loaded();
    EXPECT_EQ(quiet.pos(), QPoint(9, 9));
    quiet.close();
    EXPECT_EQ(TProfileFile(ini).ReadInteger("TPlacedForm_Placement", "Left", -1), 40);
}

TEST(SaveFormState, AFolderThatCannotBeWrittenDoesNotStopTheClose)
{
    qn::test::TempDir dir;
    TPlacedForm form;
    auto *keeper = new TSaveFormStateAndPosition(&form);
    keeper->IniFileName = (dir / "missing-folder" / "place.INI").string();
    keeper->Loaded();
    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(std::filesystem::exists(keeper->IniFileName));
}

TEST(SaveFormState, AWindowNeverShownLeavesNoFile)
{
    qn::test::TempDir dir;
    const auto ini = dir / "place.INI";
    {
        TPlacedForm form;
        auto *keeper = new TSaveFormStateAndPosition(&form);
        keeper->IniFileName = ini.string();
        keeper->Loaded();
        form.close();
    }
    EXPECT_FALSE(std::filesystem::exists(ini));
}

#include "save_form_state_test.moc"
