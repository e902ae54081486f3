// The pane's transfers: one at a time from start to finish, the delayed
// progress sheet, the progress step and Cancel.

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <algorithm>

#include "app/panes/OVRightViewController.h"
#include "app/panes/OVTaskProgressPanel.h"
#include "app/panes/PaneTransfer.h"
#include "app/shell/L10n.h"
#include "app/shell/Prefs.h"
#include "app/toolkit/NSString+Format.h"

namespace orv {

std::shared_ptr<PaneTransfer> OVRightViewController::beginTransfer(int kind)
{
    if (transfer_) {
        refuseBusy();
        return nullptr;
    }
    transfer_ = std::make_shared<PaneTransfer>(static_cast<PaneTransfer::Kind>(kind));
    return transfer_;
}

void OVRightViewController::endTransfer(const std::shared_ptr<PaneTransfer>& transfer)
{
    transfer->finished = true;
    if (transfer_ == transfer) {
        if (transfer->sheetShown)
            cleanProgressPanel();
        transfer_.reset();
    }
}

void OVRightViewController::refuseBusy()
{
    showMessage(L10n::text("Another transfer of this pane is still running."), L10n::text("Please wait"));
}

bool OVRightViewController::shouldStopProgressPanel() const { return transfer_ && transfer_->cancelled; }

void OVRightViewController::setShouldStopProgressPanel(bool stop)
{
    if (transfer_)
        transfer_->cancelled = stop;
}

int OVRightViewController::progressPanelDelayMs()
{
    const QVariant stored = Prefs::shared().value(QStringLiteral("ShowProgressPanelDelay"));
    const double seconds = stored.isValid() ? stored.toDouble() : 0.0;
    return static_cast<int>(std::max(seconds, 1.25) * 1000.0);
}

void OVRightViewController::scheduleProgressPanel(const std::shared_ptr<PaneTransfer>& transfer, const QString& title)
{
    std::weak_ptr<PaneTransfer> weak = transfer;
    QTimer::singleShot(progressPanelDelayMs(), this, [this, weak, title] {
        const auto transfer = weak.lock();
        if (!transfer || transfer->finished || transfer->cancelled || transfer != transfer_ || !view_)
            return;
        openProgressPanel();
        progressPanel_->titleField()->setText(title);
        progressPanel_->open();
        transfer->sheetShown = true;
    });
}

void OVRightViewController::openProgressPanel()
{
    cleanProgressPanel();
    OVTaskProgressPanel* panel = OVTaskProgressPanel::panelWithDelegate(view_);
    connect(panel, &OVTaskProgressPanel::cancelRequested, this, &OVRightViewController::cancelProgressPanelAction);
    panel->setProgress(0);
    panel->titleField()->clear();
    panel->textField()->clear();
    panel->speedField()->clear();
    panel->speedField()->setToolTip(L10n::text("TransferSpeedAndSize"));
    progressPanel_ = panel;
}

void OVRightViewController::cleanProgressPanel()
{
    if (OVTaskProgressPanel* panel = progressPanel_) {
        progressPanel_ = nullptr;
        panel->hide();
        panel->deleteLater();
    }
}

void OVRightViewController::cancelProgressPanelAction()
{
    cleanProgressPanel();
    if (transfer_)
        transfer_->cancelled = true;
}

bool OVRightViewController::progressStep(const std::shared_ptr<PaneTransfer>& transfer, const QString& path,
                                          int64_t overallDone, bool withSpeed)
{
    if (transfer->cancelled)
        return false;
    OVTaskProgressPanel* panel = progressPanel_;
    if (!transfer->sheetShown || !panel)
        return true;
    const uint64_t total = std::max<uint64_t>(transfer->totalBytes, 1);
    QString name = path;
    while (name.size() > 1 && name.endsWith(QLatin1Char('/')))
        name.chop(1);
    panel->textField()->setText(name.mid(name.lastIndexOf(QLatin1Char('/')) + 1));
    // Nothing counted yet, or more than announced: no honest fraction to show.
    if (overallDone <= 0 || static_cast<uint64_t>(overallDone) > total)
        panel->setIndeterminate();
    else
        panel->setProgress(static_cast<double>(overallDone) * 100.0 / static_cast<double>(total));
    if (withSpeed) {
        const double seconds = static_cast<double>(transfer->started.elapsed()) / 1000.0;
        const int64_t speed = seconds > 0 ? static_cast<int64_t>(static_cast<double>(overallDone) / seconds) : 0;
        panel->speedField()->setText(QStringLiteral("%1   %2/%3")
                                         .arg(formatFromByteSpeed(speed), formatFromByteSize(overallDone),
                                              formatFromByteSize(static_cast<int64_t>(total))));
    }
    return !transfer->cancelled;
}

}  // namespace orv
