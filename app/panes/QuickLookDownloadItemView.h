#pragma once
// A grid cell that shows a preview copy's progress while the copy runs: the
// pane starts and stops the animation and passes the maximum and the value.

namespace orv {

class QuickLookDownloadItemView {
public:
    virtual ~QuickLookDownloadItemView() = default;
    virtual void startDownloadingAnimation() = 0;
    virtual void stopDownloadingAnimation() = 0;
    virtual void setMaxValue(double value) = 0;
    virtual void setDoubleValue(double value) = 0;
};

}  // namespace orv
