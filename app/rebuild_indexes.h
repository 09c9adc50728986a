#pragma once

// "Rebuild Indexes": packs the diary table (deleted records go for good) and
// writes its index anew, with a gauge, then closes itself.

#include <QDialog>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

class QLabel;
class QProgressBar;

namespace qn {

// What the gauge shows for the values the engine reports. Packing reports a
// percentage, shown as it is. Building the index reports rising runs; every
// rise over the last value seen adds to a running sum (a fall only becomes
// the new last value) and the gauge shows a quarter of the sum, rounded.
class TRebuildProgress {
public:
    enum class Phase { Pack, Index };

    void SetPhase(Phase phase) { phase_ = phase; }
    Phase CurrentPhase() const { return phase_; }
    // The gauge position for a reported value.
    int Report(int32_t value);

    int64_t RunningSum() const { return runningSum_; }
    int32_t LastValue() const { return lastValue_; }

private:
    Phase phase_ = Phase::Pack;
    int64_t runningSum_ = 0;
    int32_t lastValue_ = 0;
};

// The table operations the run needs, so that the dialog does not depend on
// who owns the table.
class TRebuildTarget {
public:
    virtual ~TRebuildTarget() = default;
    // Data controls stop following the table during the run.
    virtual void DisableControls() = 0;
    virtual void EnableControls() = 0;
    virtual void SetDeleted(bool on) = 0; // on: deleted records hidden
    virtual std::string DBFilter() = 0;
    virtual void Query(const std::string &filter) = 0;
    virtual std::string ActiveTag() = 0; // empty in natural order
    virtual void CloseIndexes() = 0;
    virtual std::filesystem::path Directory() = 0; // where the index file lives
    // An empty hook stops the reports.
    virtual void SetGaugeHook(std::function<void(int32_t)> hook) = 0;
    virtual void Pack() = 0;
    virtual void CreateIndex() = 0;                  // the tag DATE on "date"
    virtual int TagArea(const std::string &tag) = 0; // 0 when the index has no such tag
    // Makes the tag the active index (by name: the table counts its orders
    // differently from the index file).
    virtual void SelectTag(const std::string &tag) = 0;
};

class TRebuildInd : public QDialog {
    Q_OBJECT
public:
    explicit TRebuildInd(TRebuildTarget &target, QWidget *parent = nullptr);

    QProgressBar *Gauge1;
    QLabel *WhatAmIDoing;

    // The engine's message when the run failed; empty after success.
    const std::string &Failure() const { return failure_; }
    const TRebuildProgress &Progress() const { return progress_; }

    // The whole run; starts by itself once the dialog shows.
    void FormActivate();
    // A progress report from the engine.
    void GaugeReport(int32_t value);

    // Called at every report, after the gauge moved (tests look at the
    // dialog in the middle of a run here).
    std::function<void()> OnProgress;

protected:
    void showEvent(QShowEvent *event) override;
    void reject() override;

private:
    void run();
    void removeIndexFile();
    void closeWhenDone(); // handler of the message the run posts itself

    TRebuildTarget &target_;
    TRebuildProgress progress_;
    bool started_ = false;
    bool running_ = false;
    std::string failure_;
};

} // namespace qn
