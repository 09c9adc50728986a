#include "app/rebuild_indexes.h"

#include "platform/program_dir.h"
#include "platform/qt/messages.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <system_error>

namespace qn {

int TRebuildProgress::Report(int32_t value)
{
    if (phase_ == Phase::Pack)
        return value;
    if (value > lastValue_)
        runningSum_ += value - lastValue_;
    lastValue_ = value;
    return static_cast<int>(std::lround(static_cast<double>(runningSum_) * 0.25));
}

TRebuildInd::TRebuildInd(TRebuildTarget &target, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), target_(target)
{
    setWindowTitle(QStringLiteral("Rebuild Indexes"));
    setFixedSize(288, 141);

    WhatAmIDoing = new QLabel(this);
    WhatAmIDoing->setObjectName(QStringLiteral("WhatAmIDoing"));
    WhatAmIDoing->setGeometry(15, 22, 258, 20);
    WhatAmIDoing->setAlignment(Qt::AlignCenter);
    WhatAmIDoing->setVisible(false);

    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(15, 54, 258, 43);
    Gauge1->setRange(0, 100);
    Gauge1->setValue(0);
    Gauge1->setAlignment(Qt::AlignCenter);
    Gauge1->setVisible(false);
}

void TRebuildInd::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    // The run starts once the dialog is on screen, inside its modal loop.
    QTimer::singleShot(0, this, &TRebuildInd::FormActivate);
}

void TRebuildInd::reject()
{
    // No way out but the end of the run: a half-done rebuild must finish.
    if (running_)
        return;
    QDialog::reject();
}

void TRebuildInd::FormActivate()
{
    running_ = true;
    target_.DisableControls();
    run();
    // The dialog closes through a message it sends itself, once the run has
    // returned to the event loop.
    QMetaObject::invokeMethod(this, &TRebuildInd::closeWhenDone, Qt::QueuedConnection);
    target_.EnableControls();
    running_ = false;
}

void TRebuildInd::run()
{
    Gauge1->setVisible(true);
    WhatAmIDoing->setVisible(true);
    WhatAmIDoing->clear();
    target_.SetDeleted(false);
    std::string filter;
    try {
        filter = target_.DBFilter();
        target_.Query(std::string());
        std::string tag = target_.ActiveTag();

        target_.CloseIndexes();
        ProcessPendingMessages();
        removeIndexFile();

        WhatAmIDoing->setText(QStringLiteral("Permanently removing deleted tasks"));
        progress_.SetPhase(TRebuildProgress::Phase::Pack);
        Gauge1->setValue(0);
        target_.SetGaugeHook([this](int32_t value) { GaugeReport(value); });
        target_.Pack();
        target_.SetGaugeHook({});

        WhatAmIDoing->setText(QStringLiteral("Rebuilding indexes"));
        progress_.SetPhase(TRebuildProgress::Phase::Index);
        target_.SetGaugeHook([this](int32_t value) { GaugeReport(value); });
        target_.CreateIndex();
        target_.SelectTag("DATE");
        // The tag the table had before, when the new index still has it.
        if (!tag.empty() && target_.TagArea(tag) != 0)
            target_.SelectTag(tag);
        target_.SetDeleted(true);
        target_.SetGaugeHook({});
        Gauge1->setVisible(false);
        Gauge1->setValue(0);

        target_.Query(filter);
    } catch (const std::exception &error) {
        // Never leave deleted records showing or the hook pointing at a
        // dialog that is about to go; a missing index is written again at
        // the next start.
        failure_ = error.what();
        target_.SetGaugeHook({});
        // The old index is gone by now: write it again so that the diary
        // can still find its dates.
        try {
            if (target_.TagArea("DATE") == 0)
                target_.CreateIndex();
            target_.SelectTag("DATE");
        } catch (const std::exception &) {
        }
        target_.SetDeleted(true);
        Gauge1->setVisible(false);
        try {
            target_.Query(filter);
        } catch (const std::exception &) {
        }
    }
}

void TRebuildInd::removeIndexFile()
{
    std::error_code ignored;
    for (int attempt = 0; attempt < 2; ++attempt) {
        auto file = FindFileNoCase(target_.Directory(), "Quillnk.cdx");
        if (!file)
            return;
        std::filesystem::remove(*file, ignored);
    }
}

void TRebuildInd::GaugeReport(int32_t value)
{
    Gauge1->setValue(std::clamp(progress_.Report(value), 0, 100));
    if (OnProgress)
        OnProgress();
    ProcessPendingMessages();
}

void TRebuildInd::closeWhenDone()
{
    done(failure_.empty() ? QDialog::Accepted : QDialog::Rejected);
}

} // namespace qn
