#include "app/rebuild_indexes.h"

#include "tests/support/temp_dir.h"

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

using namespace qn;

TEST(RebuildProgress, PackShowsValuesIndexAddsUpRisesAndShowsAQuarter)
{
    TRebuildProgress p;
    EXPECT_EQ(p.Report(37), 37);
    EXPECT_EQ(p.Report(12), 12);
    EXPECT_EQ(p.RunningSum(), 0); // packing keeps no sum

    p.SetPhase(TRebuildProgress::Phase::Index);
    EXPECT_EQ(p.Report(0), 0);
    EXPECT_EQ(p.Report(1), 0); // 0.25 rounds to 0
    EXPECT_EQ(p.Report(2), 1); // 0.5 rounds away from zero
    EXPECT_EQ(p.Report(100), 25);
    EXPECT_EQ(p.Report(40), 25); // a fall adds nothing
    EXPECT_EQ(p.LastValue(), 40);
    EXPECT_EQ(p.Report(60), 30); // only the rise over the last value
    EXPECT_EQ(p.RunningSum(), 120);
    EXPECT_EQ(p.Report(400), 115);
    EXPECT_EQ(p.RunningSum(), 460);
}

namespace {

// Records the calls a run makes, in order, and plays the engine's reports.
class FakeTarget : public TRebuildTarget {
public:
    qn::test::TempDir dir;
    std::vector<std::string> calls;
    std::vector<int32_t> packReports{0, 50, 100};
    std::vector<int32_t> indexReports{0, 100, 200, 300, 400};
    std::function<void(int32_t)> hook;
    bool failPack = false;
    bool cdxSeenAtPack = true;
    bool indexOpen = true;

    void DisableControls() override { calls.push_back("disable"); }
    void EnableControls() override { calls.push_back("enable"); }
    void SetDeleted(bool on) override { calls.push_back(on ? "deleted on" : "deleted off"); }
    std::string DBFilter() override
    {
        calls.push_back("dbfilter");
        return "date > '2020'";
    }
    void Query(const std::string &filter) override { calls.push_back("query " + filter); }
    std::string ActiveTag() override
    {
        calls.push_back("activetag");
        return "DATE";
    }
    void CloseIndexes() override
    {
        calls.push_back("closeindexes");
        indexOpen = false;
    }
    std::filesystem::path Directory() override { return dir.path(); }
    void SetGaugeHook(std::function<void(int32_t)> h) override
    {
        calls.push_back(h ? "hook" : "unhook");
        hook = std::move(h);
    }
    void Pack() override
    {
        calls.push_back("pack");
        cdxSeenAtPack = std::filesystem::exists(dir / "QUILLNK.CDX");
        if (failPack)
            throw std::runtime_error("disk full");
        for (int32_t v : packReports)
            hook(v);
    }
    void CreateIndex() override
    {
        calls.push_back("index");
        indexOpen = true;
        for (int32_t v : indexReports)
            hook(v);
    }
    int TagArea(const std::string &tag) override
    {
        calls.push_back("tagarea " + tag);
        return indexOpen ? 1 : 0;
    }
    void SelectTag(const std::string &tag) override { calls.push_back("select " + tag); }
};

} // namespace

TEST(RebuildInd, RunsBothPhasesInOrderAndClosesItself)
{
    FakeTarget target;
    qn::test::writeFile(target.dir / "QUILLNK.CDX", "old index");
    TRebuildInd dialog(target);
    EXPECT_EQ(dialog.windowTitle(), "Rebuild Indexes");
    EXPECT_EQ(dialog.size(), QSize(288, 141));
    EXPECT_EQ(dialog.Gauge1->size(), QSize(258, 43));
    EXPECT_FALSE(dialog.WhatAmIDoing->isVisibleTo(&dialog));

    std::vector<std::pair<QString, int>> seen;
    dialog.OnProgress = [&] {
        EXPECT_TRUE(dialog.Gauge1->isVisible());
        seen.emplace_back(dialog.WhatAmIDoing->text(), dialog.Gauge1->value());
    };
    // Nobody presses anything: the dialog must end by itself.
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        stuck = true;
        dialog.done(99);
    });
    guard.start(10000);
    int result = dialog.exec();
    EXPECT_FALSE(stuck);
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_TRUE(dialog.Failure().empty());

    EXPECT_FALSE(target.cdxSeenAtPack); // the old index is gone before packing
    std::vector<std::string> expected{"disable",
                                      "deleted off",
                                      "dbfilter",
                                      "query ",
                                      "activetag",
                                      "closeindexes",
                                      "hook",
                                      "pack",
                                      "unhook",
                                      "hook",
                                      "index",
                                      "select DATE",
                                      "tagarea DATE",
                                      "select DATE",
                                      "deleted on",
                                      "unhook",
                                      "query date > '2020'",
                                      "enable"};
    EXPECT_EQ(target.calls, expected);

    const QString pack = "Permanently removing deleted tasks", index = "Rebuilding indexes";
    std::vector<std::pair<QString, int>> want{{pack, 0},   {pack, 50},  {pack, 100}, {index, 0},
                                              {index, 25}, {index, 50}, {index, 75}, {index, 100}};
    EXPECT_EQ(seen, want);
    EXPECT_FALSE(dialog.Gauge1->isVisible());
    EXPECT_EQ(dialog.Gauge1->value(), 0);
}

TEST(RebuildInd, AFailedPackStillHidesDeletedRecordsAndLetsTheHookGo)
{
    FakeTarget target;
    target.failPack = true;
    TRebuildInd dialog(target);
    int result = dialog.exec();
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_EQ(dialog.Failure(), "disk full");
    EXPECT_FALSE(target.hook);
    // The index deleted before packing is written again.
    auto index = std::find(target.calls.begin(), target.calls.end(), "index");
    ASSERT_NE(index, target.calls.end());
    EXPECT_GT(index - std::find(target.calls.begin(), target.calls.end(), "pack"), 0);
    ASSERT_GE(target.calls.size(), 3u);
    EXPECT_EQ(target.calls[target.calls.size() - 3], "deleted on");
    EXPECT_EQ(target.calls[target.calls.size() - 2], "query date > '2020'");
    EXPECT_EQ(target.calls.back(), "enable");
}
