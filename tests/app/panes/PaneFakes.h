#pragma once
// Stand-ins for the panes' seams in tests: dialogs answered from a script,
// sounds and launches recorded, and a pane whose selection and folder the
// test sets.

#include <QStringList>
#include <deque>
#include <vector>

#include "app/panes/AppLauncher.h"
#include "app/panes/OVRightViewController.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneSounds.h"

namespace orv::test {

struct ScriptedDialogs : PaneDialogs {
    void chooseImportPaths(QWidget*, bool, const QStringList&, PathsCallback done) override { done(importPaths); }
    void chooseExportFolder(QWidget*, FolderCallback done) override { done(exportFolder); }
    ClashAnswer askNameClash(QWidget*, const QString& text, const QImage&) override
    {
        clashes << text;
        if (clashAnswers.empty())
            return ClashAnswer::Stop;
        const ClashAnswer answer = clashAnswers.front();
        clashAnswers.pop_front();
        return answer;
    }
    bool confirmDelete(QWidget*, const QString& message, const QString&) override
    {
        deleteQuestions << message;
        return confirm;
    }
    bool showMessage(QWidget*, const QString& title, const QString& message, bool) override
    {
        messages << title + QStringLiteral(" | ") + message;
        return false;
    }

    QString askNewName(QWidget*, const QString& current) override
    {
        renameQuestions << current;
        return newName;
    }
    QStringList importPaths;
    QString newName;
    QStringList renameQuestions;
    QString exportFolder;
    std::deque<ClashAnswer> clashAnswers;
    bool confirm = true;
    QStringList clashes;
    QStringList deleteQuestions;
    QStringList messages;
};

struct RecordingSounds : PaneSounds {
    void play(Sound sound) override { played.push_back(sound); }
    std::vector<Sound> played;
};

struct RecordingLauncher : AppLauncher {
    std::optional<Application> defaultApplicationFor(const QString&) override
    {
        if (!hasDefault)
            return std::nullopt;
        return Application{QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"), QString()};
    }
    std::vector<Application> applicationsFor(const QString& name) override
    {
        std::vector<Application> apps;
        if (auto first = defaultApplicationFor(name))
            apps.push_back(*first);
        if (hasDefault)
            apps.push_back({QStringLiteral("editor.desktop"), QStringLiteral("Editor"), QString()});
        return apps;
    }
    bool open(const QString& path) override
    {
        launches << QStringLiteral("default:") + path;
        return hasDefault;
    }
    bool openWith(const QString& path, const QString& id) override
    {
        launches << id + QLatin1Char(':') + path;
        return true;
    }
    bool hasDefault = true;
    QStringList launches;
};

// A pane whose selection and current folder the test chooses.
struct TestPane : OVRightViewController {
    std::vector<OVViewModelRef> selectedItems() override { return selection; }
    OVViewModelRef currentDirectory() override { return folder; }
    void reloadCurrentViewData() override { ++reloads; }
    void doDeleteDone(const std::optional<Error>& error) override
    {
        ++deleteDone;
        OVRightViewController::doDeleteDone(error);
    }
    void showImportDoneMessage(uint64_t count) override { importDone.push_back(count); }
    void showExportDoneMessage(uint64_t count) override { exportDone.push_back(count); }
    void showDeleteDoneMessage(uint64_t count) override { deletedMessages.push_back(count); }

    std::vector<OVViewModelRef> selection;
    OVViewModelRef folder;
    int reloads = 0;
    int deleteDone = 0;
    std::vector<uint64_t> importDone;
    std::vector<uint64_t> exportDone;
    std::vector<uint64_t> deletedMessages;
};

// The pane seams answered by the test for as long as it lives; made before
// the panes and windows and gone after them, so no real dialog can open
// while they close.
struct PaneSeams {
    PaneSeams()
    {
        PaneDialogs::setCurrent(&dialogs);
        PaneSounds::setCurrent(&sounds);
        AppLauncher::setCurrent(&launcher);
    }
    ~PaneSeams()
    {
        AppLauncher::setCurrent(nullptr);
        PaneSounds::setCurrent(nullptr);
        PaneDialogs::setCurrent(nullptr);
    }
    ScriptedDialogs dialogs;
    RecordingSounds sounds;
    RecordingLauncher launcher;
};

}  // namespace orv::test
