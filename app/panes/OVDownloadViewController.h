#pragma once
// The Download pane: the file browser rooted at the phone's Download folder;
// the trail cannot go above it.

#include "app/panes/OVFileViewController.h"

namespace orv {

class OVDownloadViewController : public OVFileViewController {
    Q_OBJECT

protected:
    OVViewModelRef makeRoot() override;
};

}  // namespace orv
