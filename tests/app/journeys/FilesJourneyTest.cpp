// A user's way through the phone's files, in the whole application: the phone
// is plugged, its window opens and loads it, the Files pane lists it; a folder
// tree with hostile names goes onto the phone and comes back byte-exact
// beside a folder of the same name, a file is renamed, the tree is deleted;
// a deletion stopped midway keeps what it did not reach.
// Then the phone is unplugged in the middle of an import: the window closes,
// nothing hangs and no file reaches the phone under its final name; plugged
// again, a new window works. Two phones at once keep apart: one unplugged
// mid-transfer does not stop the other's.

#include <gtest/gtest.h>

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <filesystem>

#include "JourneySupport.h"
#include "tests/app/shell/RunningApp.h"
#include "app/panes/OVPathView.h"
#include "app/shell/L10n.h"
#include "app/toolkit/IBCollectionView.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using namespace test;
namespace fs = std::filesystem;

// Names that trip up shells, quoting and file systems, each with its own bytes.
std::vector<std::pair<QString, QByteArray>> hostileFiles()
{
    return {
        {QStringLiteral("it's \"quoted\".txt"), "quotes"},
        {QStringLiteral("$HOME and `id`.txt"), "dollar and backquote"},
        {QStringLiteral("back\\slash.txt"), "backslash"},
        {QStringLiteral("new\nline.txt"), "newline"},
        {QString(251, QLatin1Char('n')) + QStringLiteral(".txt"), "255 bytes"},
        {QStringLiteral("\U0001F389 party.txt"), "emoji"},
        {QStringLiteral("deeper/inside.bin"), QByteArray(70000, '\x7f')},
    };
}

class FilesJourney : public ::testing::Test {
protected:
    static void SetUpTestSuite() { prepareApplication(); }

    static OVViewModelRef entry(OVFileViewController& pane, const QString& name)
    {
        for (const auto& model : pane.items())
            if (model->rawfilename() == name)
                return model;
        return nullptr;
    }
    static bool enter(OVFileViewController& pane, const QString& name)
    {
        const OVViewModelRef folder = entry(pane, name);
        if (!folder)
            return false;
        pane.doubleClickItem(folder);
        // Shown once its listing arrived: the entries on screen are its own.
        return qtWaitUntil(
            [&] {
                return pane.currentDirectory() == folder && folder->ovfile()->children().has_value() &&
                       (pane.items().empty() || pane.items().front()->path().startsWith(folder->path()));
            },
            60s);
    }
    static void select(OVFileViewController& pane, const QString& name)
    {
        for (size_t i = 0; i < pane.items().size(); ++i)
            if (pane.items()[i]->rawfilename() == name)
                pane.gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, static_cast<int64_t>(i)));
    }
    fs::path phonePath(const std::string& relative) { return app.sim().phoneRoot(app.sim().serial()) / relative; }
    // The Files pane of the plugged phone's window, in the Download folder.
    OVFileViewController* downloadFolder(const std::string& serial)
    {
        window = app.loadedWindow(serial);
        OVFileViewController* pane = window ? filesPane(*window) : nullptr;
        return pane && enter(*pane, QStringLiteral("Download")) ? pane : nullptr;
    }

    PaneSeams seams;
    RunningApp app;
    QTemporaryDir local;
    OVMainWindowController* window = nullptr;
};

TEST_F(FilesJourney, ATreeOfHostileNamesGoesToThePhoneAndBackAndIsDeleted)
{
    ASSERT_TRUE(app.launch());
    const std::string serial = app.sim().serial();
    // A phone of today: its ls can escape every byte of a name, newlines included.
    app.sim().set(serial, "ls", "toybox");
    app.usb().plug(RunningApp::usbFacts(serial, 3, 9));
    OVFileViewController* pane = downloadFolder(serial);
    ASSERT_TRUE(pane);

    // Import through the Import command: a whole folder.
    for (const auto& [name, bytes] : hostileFiles())
        ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("Trip/") + name), bytes));
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("Trip"))};
    pane->importAction(true);
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning() && entry(*pane, "Trip"); }, 120s));
    for (const auto& [name, bytes] : hostileFiles())
        EXPECT_EQ(readFile(QString::fromStdString(phonePath("Download/Trip/" + name.toStdString()).string())), bytes)
            << name.toStdString();

    // Export it into a folder that already has a "Trip": both are kept.
    const QString out = local.filePath(QStringLiteral("out"));
    ASSERT_TRUE(writeFile(out + QStringLiteral("/Trip/mine.txt"), "mine"));
    seams.dialogs.exportFolder = out;
    seams.dialogs.clashAnswers = {PaneDialogs::ClashAnswer::KeepBoth};
    select(*pane, QStringLiteral("Trip"));
    pane->exportAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, 120s));
    EXPECT_EQ(readFile(out + QStringLiteral("/Trip/mine.txt")), "mine");
    for (const auto& [name, bytes] : hostileFiles()) {
        // Wherever the copy was put aside, it arrived whole.
        int found = 0;
        QDirIterator it(out, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext())
            if (it.next().endsWith(QLatin1Char('/') + name) && readFile(it.filePath()) == bytes)
                ++found;
        EXPECT_EQ(found, 1) << name.toStdString();
    }

    // Rename inside the tree, then delete the tree.
    ASSERT_TRUE(enter(*pane, QStringLiteral("Trip")));
    select(*pane, QStringLiteral("back\\slash.txt"));
    seams.dialogs.newName = QStringLiteral("renamed.txt");
    pane->renameMenuAction();
    ASSERT_TRUE(qtWaitUntil([&] { return entry(*pane, QStringLiteral("renamed.txt")) != nullptr; }, 60s));
    EXPECT_EQ(readFile(QString::fromStdString(phonePath("Download/Trip/renamed.txt").string())), "backslash");

    pane->pathbarAction(pane->pathView()->pathComponentCells()[1].get());
    ASSERT_TRUE(qtWaitUntil([&] { return entry(*pane, QStringLiteral("Trip")) != nullptr; }, 60s));
    select(*pane, QStringLiteral("Trip"));
    seams.dialogs.confirm = true;
    pane->deleteAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning() && !entry(*pane, QStringLiteral("Trip")); },
                            120s));
    EXPECT_FALSE(fs::exists(phonePath("Download/Trip")));
    EXPECT_TRUE(app.presented().empty());
}

// Twelve files deleted and the deletion stopped at once: the slice under way
// still goes, the rest stays on the phone whole, and the user is told how
// far it got; a second deletion takes the rest.
TEST_F(FilesJourney, ADeletionStoppedMidwayKeepsWhatItDidNotReach)
{
    ASSERT_TRUE(app.launch());
    const std::string serial = app.sim().serial();
    for (int i = 0; i < 12; ++i)
        ASSERT_TRUE(writeFile(QString::fromStdString(phonePath("Download/Batch/f" + std::to_string(100 + i) + ".txt").string()),
                              QByteArray::number(i)));
    app.usb().plug(RunningApp::usbFacts(serial, 3, 9));
    OVFileViewController* pane = downloadFolder(serial);
    ASSERT_TRUE(pane);
    ASSERT_TRUE(enter(*pane, QStringLiteral("Batch")));
    ASSERT_TRUE(qtWaitUntil([&] { return pane->items().size() == 12; }, 60s));
    QList<IBSectionIndexSet> all;
    for (int64_t i = 0; i < 12; ++i)
        all.append(IBSectionIndexSet(0, i));
    pane->gridView()->selectItemWithIndexSets(all);
    ASSERT_EQ(pane->selectedItems().size(), 12u);

    pane->deleteAction();
    ASSERT_TRUE(pane->isTransferRunning());
    pane->cancelProgressPanelAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, 60s));
    int left = 0;
    for (int i = 0; i < 12; ++i) {
        const fs::path file = phonePath("Download/Batch/f" + std::to_string(100 + i) + ".txt");
        if (fs::exists(file)) {
            ++left;
            EXPECT_EQ(readFile(QString::fromStdString(file.string())), QByteArray::number(i));
        }
    }
    EXPECT_GT(left, 0);
    EXPECT_LT(left, 12);
    ASSERT_FALSE(seams.dialogs.messages.isEmpty());
    EXPECT_TRUE(seams.dialogs.messages.back().contains(
        L10n::format("%@ of %@ deleted", {QString::number(12 - left), QStringLiteral("12")})))
        << seams.dialogs.messages.back().toStdString();

    ASSERT_TRUE(qtWaitUntil([&] { return pane->items().size() == static_cast<size_t>(left); }, 60s));
    QList<IBSectionIndexSet> rest;
    for (int64_t i = 0; i < left; ++i)
        rest.append(IBSectionIndexSet(0, i));
    pane->gridView()->selectItemWithIndexSets(rest);
    pane->deleteAction();
    ASSERT_TRUE(qtWaitUntil([&] { return !pane->isTransferRunning(); }, 60s));
    EXPECT_TRUE(fs::is_empty(phonePath("Download/Batch")));
}

TEST_F(FilesJourney, AnUnplugDuringAnImportClosesTheWindowAndAReplugWorks)
{
    ASSERT_TRUE(app.launch());
    const std::string serial = app.sim().serial();
    const auto usb = RunningApp::usbFacts(serial, 3, 9);
    app.usb().plug(usb);
    OVFileViewController* pane = downloadFolder(serial);
    ASSERT_TRUE(pane);

    ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("big.bin")), QByteArray(600 * 1024, 'b')));
    app.sim().misbehave(serial, "stall-transfer", true);
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("big.bin"))};
    pane->importAction(false);
    ASSERT_TRUE(qtWaitUntil(
        [&] { return app.sim().log(serial, "adb").dump().find("push") != std::string::npos; }, 60s));

    // The cable comes out: adb loses the phone and USB reports it gone.
    QPointer<QWidget> closing = window->window();
    app.sim().unplug(serial);
    app.usb().unplug(usb);
    ASSERT_TRUE(qtWaitUntil([&] { return app.delegate().allControllers().empty(); }, 60s));
    EXPECT_TRUE(qtWaitUntil([&] { return !closing || !closing->isVisible(); }, 60s));
    EXPECT_FALSE(fs::exists(phonePath("Download/big.bin")));

    // Plugged again: a new window lists the phone.
    app.sim().misbehave(serial, "stall-transfer", false);
    app.sim().replug(serial);
    app.usb().plug(usb);
    OVMainWindowController* again = app.loadedWindow(serial);
    ASSERT_TRUE(again);
    EXPECT_TRUE(filesPane(*again));
    EXPECT_FALSE(fs::exists(phonePath("Download/big.bin")));
}

// Two phones at once, each with its window and a transfer running; the one
// unplugged mid-transfer goes away, the other's transfer completes.
TEST(TwoPhones, OneUnpluggedWhileBothTransferTheOtherCompletes)
{
    prepareApplication();
    PaneSeams seams;
    phonesim::Options phones;
    phones.phones = {phonesim::Fixture::realistic().serial("PHONEA"), phonesim::Fixture::realistic().serial("PHONEB")};
    RunningApp app(phones);
    QTemporaryDir local;
    ASSERT_TRUE(app.launch());
    const auto usbA = RunningApp::usbFacts("PHONEA", 3, 9);
    const auto usbB = RunningApp::usbFacts("PHONEB", 4, 10);
    app.usb().plug(usbA);
    app.usb().plug(usbB);
    OVMainWindowController* windowA = app.loadedWindow("PHONEA");
    OVMainWindowController* windowB = app.loadedWindow("PHONEB");
    ASSERT_TRUE(windowA && windowB);
    ASSERT_NE(windowA, windowB);
    EXPECT_EQ(visibleDeviceWindows(), 2);

    OVFileViewController* paneA = filesPane(*windowA);
    OVFileViewController* paneB = filesPane(*windowB);
    ASSERT_TRUE(paneA && paneB);

    // A's import stalls on its phone; B's goes through while A is pulled out.
    ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("a.bin")), QByteArray(600 * 1024, 'a')));
    ASSERT_TRUE(writeFile(local.filePath(QStringLiteral("b.bin")), QByteArray(900 * 1024, 'b')));
    app.sim().misbehave("PHONEA", "stall-transfer", true);
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("a.bin"))};
    paneA->importAction(false);
    ASSERT_TRUE(qtWaitUntil(
        [&] { return app.sim().log("PHONEA", "adb").dump().find("push") != std::string::npos; }, 60s));
    seams.dialogs.importPaths = {local.filePath(QStringLiteral("b.bin"))};
    paneB->importAction(false);
    ASSERT_TRUE(paneB->isTransferRunning());
    app.sim().unplug("PHONEA");
    app.usb().unplug(usbA);

    ASSERT_TRUE(qtWaitUntil([&] { return !paneB->isTransferRunning(); }, 120s));
    const fs::path phoneB = app.sim().phoneRoot("PHONEB");
    EXPECT_EQ(readFile(QString::fromStdString((phoneB / "b.bin").string())), QByteArray(900 * 1024, 'b'));
    ASSERT_TRUE(qtWaitUntil([&] { return app.delegate().allControllers().size() == 1; }, 60s));
    EXPECT_FALSE(fs::exists(app.sim().phoneRoot("PHONEA") / "a.bin"));
    EXPECT_TRUE(windowB->window()->isVisible());
}

}  // namespace
}  // namespace orv
