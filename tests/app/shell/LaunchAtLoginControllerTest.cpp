#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/shell/LaunchAtLoginController.h"
#include "QtWait.h"

namespace orv {
namespace {

class LaunchAtLoginControllerTest : public ::testing::Test {
protected:
    QString folder() const { return dir_.filePath("autostart"); }
    void writeEntry(const QString& name, const QString& execLine)
    {
        QFile file(QDir(folder()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(("[Desktop Entry]\nType=Application\nName=X\n" + execLine + "\n").toUtf8());
    }
    QString read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    QTemporaryDir dir_;
};

TEST_F(LaunchAtLoginControllerTest, ExecLinesNameTheirProgram)
{
    LaunchAtLoginController controller(folder());
    struct Case {
        QString exec;
        QString program;
    } cases[] = {
        {"Exec=/opt/orvane/bin/OrvaneAgent", "/opt/orvane/bin/OrvaneAgent"},
        {"Exec=/usr/bin/OrvaneAgent --quiet", "/usr/bin/OrvaneAgent"},
        {"Exec=\"/home/a b/Orvane/bin/OrvaneAgent\" -x", "/home/a b/Orvane/bin/OrvaneAgent"},
        {"Exec=\"/p/q\\\"r/OrvaneAgent\"", "/p/q\"r/OrvaneAgent"},
        {"TryExec=/x", ""},
    };
    for (const auto& c : cases) {
        writeEntry("probe.desktop", c.exec);
        EXPECT_EQ(LaunchAtLoginController::programOfEntry(QDir(folder()).filePath("probe.desktop")), c.program)
            << c.exec.toStdString();
    }
}

TEST_F(LaunchAtLoginControllerTest, EnablingLeavesExactlyOneAgentEntryAndDisablingNone)
{
    LaunchAtLoginController controller(folder());
    controller.setHide(true);
    const QString mine = dir_.filePath("mine/bin/OrvaneAgent");
    controller.setAppURL(mine);
    writeEntry("other-install.desktop", "Exec=/opt/old/bin/OrvaneAgent");
    writeEntry("editor.desktop", "Exec=/usr/bin/editor");
    EXPECT_FALSE(controller.launchAtLogin());

    controller.setLaunchAtLogin(true);
    EXPECT_TRUE(controller.launchAtLogin());
    ASSERT_EQ(controller.agentItems().size(), 1);
    const QString entry = read(controller.agentItems().first());
    EXPECT_TRUE(entry.contains("Exec=\"" + mine + "\"")) << entry.toStdString();
    EXPECT_FALSE(entry.contains("Hidden")) << "Hidden=true would switch the entry off";
    EXPECT_TRUE(QFile::exists(QDir(folder()).filePath("editor.desktop")));

    controller.setLaunchAtLogin(false);
    EXPECT_FALSE(controller.launchAtLogin());
    EXPECT_TRUE(controller.agentItems().isEmpty());
    EXPECT_TRUE(QFile::exists(QDir(folder()).filePath("editor.desktop")));
}

TEST_F(LaunchAtLoginControllerTest, ChangesMadeElsewhereAreSignalled)
{
    LaunchAtLoginController controller(folder());
    QSignalSpy spy(&controller, &LaunchAtLoginController::launchAtLoginChanged);
    writeEntry("orvane-agent.desktop", "Exec=/opt/orvane/bin/OrvaneAgent");
    EXPECT_TRUE(test::qtWaitUntil([&] { return spy.count() > 0; }));
}

}  // namespace
}  // namespace orv
