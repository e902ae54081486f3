#pragma once
// One simulated phone for a pane test program, reached through the real
// device client, with the panes' dialogs, sounds and launches scripted.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "QtWait.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/Prefs.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "tests/app/panes/PaneFakes.h"
#include "tests/app/viewmodels/PrivateHome.h"

namespace orv::test {

inline PrivateHome paneHome;
constexpr auto kPhoneWait = std::chrono::seconds(60);

class PanePhoneFixture : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
        Prefs::registerUserDefaults();
        sim = phonesim::Simulator::start().release();
        setResourceDirectory(sim->resourceDir().string());
        client = std::make_shared<OVDeviceClient>();
        std::optional<std::optional<Error>> loaded;
        client->updateWithSerialNumber(sim->serial(), [&](std::optional<Error> e) { loaded = e; });
        ASSERT_TRUE(qtWaitUntil([&] { return loaded.has_value(); }, kPhoneWait));
        ASSERT_FALSE(*loaded) << (*loaded)->description();
    }
    static void TearDownTestSuite()
    {
        OVPreviewWindow::destroySharedPreviewPanel();
        client.reset();
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        // Pushes are handed to the panes by the tests themselves.
        Prefs::shared().setValue(QStringLiteral("UseWatchCommand"), true);
        ASSERT_TRUE(local.isValid());
    }
    void TearDown() override
    {
        OVPreviewWindow::destroySharedPreviewPanel();
    }
    static std::filesystem::path phoneRoot() { return sim->phoneRoot(sim->serial()); }
    static std::string readPhoneFile(const std::string& relative)
    {
        std::ifstream in(phoneRoot() / relative, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    static inline phonesim::Simulator* sim = nullptr;
    static inline std::shared_ptr<OVDeviceClient> client;
    QTemporaryDir local;
    PaneSeams seams;
    ScriptedDialogs& dialogs = seams.dialogs;
    RecordingSounds& sounds = seams.sounds;
    RecordingLauncher& launcher = seams.launcher;
};

}  // namespace orv::test
