#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "app/shell/AppCategories.h"
#include "app/shell/ProcessList.h"
#include "QtWait.h"
#include "ShellTestSupport.h"

namespace orv {
namespace {

TEST(AppCategoriesTest, TemporaryFolderIsOnePrivateFolder)
{
    test::PrivateHome home;
    const QString a = applicationTemporaryFolder("a.txt");
    const QString b = applicationTemporaryFolder("b.txt");
    ASSERT_FALSE(a.isEmpty());
    const QFileInfo folder(QFileInfo(a).path());
    EXPECT_EQ(QFileInfo(b).path(), folder.filePath());
    EXPECT_TRUE(folder.isDir());
    EXPECT_FALSE(QFileInfo::exists(a));
    EXPECT_TRUE(folder.filePath().startsWith(home.path("cache")));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(folder.filePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST(AppCategoriesTest, SocketErrorsAreNotShown)
{
    test::FakeDialogs dialogs;
    struct Case {
        std::string message;
        bool shown;
    } cases[] = {
        {"Socket reset by remote", false}, {"the sOcKeT closed", false},
        {"Unable to connect your phone", true}, {"无效的参数", true},
    };
    for (const auto& c : cases)
        processError(Error{"ADBError", 1, c.message, "", {}});
    ASSERT_EQ(dialogs.errors.size(), 2u);
    EXPECT_EQ(dialogs.errors[0].message, "Unable to connect your phone");
}

TEST(AppCategoriesTest, ApplicationErrorCodes)
{
    EXPECT_EQ(OVErrorWithCode(1).domain, "OVError");
    EXPECT_EQ(OVErrorWithCode(1).message, "connect device error");
    EXPECT_EQ(OVErrorWithCode(1).recoverySuggestion, "error unauthorized usb debug");
    EXPECT_EQ(OVErrorWithCode(2).recoverySuggestion, "connect device error reason");
    EXPECT_TRUE(OVErrorWithCode(3).message.empty());
}

TEST(ProcessListTest, ListsThisProcess)
{
    const auto list = getBSDProcessList();
    const auto self = std::find_if(list.begin(), list.end(), [](const ProcessEntry& e) { return e.processID == ::getpid(); });
    ASSERT_NE(self, list.end());
    EXPECT_EQ(self->userID, ::getuid());
    EXPECT_FALSE(self->processName.isEmpty());
    EXPECT_LE(self->processName.size(), 15);
    EXPECT_EQ(QFileInfo(self->executable).canonicalFilePath(),
              QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath());
}

TEST(ProcessListTest, KillsOnlyProcessesOfTheGivenProgram)
{
    // Two copies of sleep: one under our adb name, one as it is.
    QTemporaryDir dir;
    const QString ours = dir.filePath("adb");
    ASSERT_TRUE(QFile::copy("/bin/sleep", ours));
    QFile::setPermissions(ours, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess target;
    QProcess bystander;
    target.start(ours, {"60"});
    bystander.start("/bin/sleep", {"60"});
    ASSERT_TRUE(target.waitForStarted());
    ASSERT_TRUE(bystander.waitForStarted());

    EXPECT_EQ(killProcessesOfExecutable(ours), 1);
    EXPECT_TRUE(target.waitForFinished(10000));
    EXPECT_EQ(target.exitStatus(), QProcess::CrashExit);
    EXPECT_EQ(bystander.state(), QProcess::Running);
    EXPECT_EQ(killProcessesOfExecutable(dir.filePath("absent")), 0);
    bystander.kill();
    bystander.waitForFinished();
}

}  // namespace
}  // namespace orv
