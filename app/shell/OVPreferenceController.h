#pragma once
// The application's preferences window: one pane, "General", whose check
// boxes are bound to Prefs (a click writes the preference; a change from
// elsewhere updates the box). One controller per process.

#include <QCheckBox>
#include <QPointer>
#include <vector>

#include "app/shell/LXPrefsWindowController.h"

namespace orv {

class OVPreferenceController : public LXPrefsWindowController {
    Q_OBJECT

public:
    static OVPreferenceController& shared();

    OVPreferenceController();
    ~OVPreferenceController() override;

    QWidget* generalPreferenceView() const { return generalPreferenceView_; }
    // Titled "AutoPopWindowAfterPluginPhone": the agent opens a window when a
    // phone is plugged in, which is the launch-at-login preference.
    QCheckBox* autopopButton() const { return autopopButton_; }
    // The General pane's box bound to `key`, or null.
    QCheckBox* checkBoxForKey(const QString& key) const;

protected:
    void setupToolbar() override;

private:
    QCheckBox* addBox(const QString& key);

    QPointer<QWidget> generalPreferenceView_;
    QCheckBox* autopopButton_ = nullptr;
    std::vector<std::pair<QString, QCheckBox*>> boxes_;
};

}  // namespace orv
