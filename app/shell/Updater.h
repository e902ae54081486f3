#pragma once
// Answers "check for updates": Orvane never replaces its own program, so the
// answer tells where updates come from (the system's package manager, or the
// project's page for a build made by hand). Tests and packagers may install
// another updater.

class QWidget;

namespace orv {

class Updater {
public:
    virtual ~Updater() = default;
    virtual void checkForUpdates(QWidget* parent);

    static Updater& shared();
    // Not owned; nullptr returns to the built-in updater.
    static void setShared(Updater* updater);
};

}  // namespace orv
