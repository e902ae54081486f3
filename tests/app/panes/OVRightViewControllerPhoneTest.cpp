// The pane base against the simulated phone through the real device client:
// import (files and a folder, each clash answer), export with a clash,
// delete confirmed, refused and stopped midway, Open and Open With through a
// recording launcher, hostile names round-tripping byte-exact, the delayed
// progress sheet and its Cancel, and a phone that vanishes mid-transfer.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "PaneFakes.h"
#include "QtWait.h"
#include "app/panes/OVTaskProgressPanel.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Prefs.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "phonesim/Simulator.h"
#include "tests/app/viewmodels/PrivateHome.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::qtWaitUntil;
using Clash = PaneDialogs::ClashAnswer;
namespace fs = std::filesystem;

const std::string kStorage = "/storage/emulated/legacy/";

std::shared_ptr<OVDirectoryFile> phoneFolder(const std::string& relative)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(kStorage + relative + "/");
    folder->setName(relative.substr(relative.rfind('/') + 1));
    return folder;
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    file.write(bytes);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString q(const fs::path& path) { return QString::fromStdString(path.string()); }

std::optional<Error> connect(OVDeviceClient& client, phonesim::Simulator& sim)
{
    std::optional<std::optional<Error>> loaded;
    client.updateWithSerialNumber(sim.serial(), [&](std::optional<Error> e) { loaded = e; });
    if (!qtWaitUntil([&] { return loaded.has_value(); }, std::chrono::seconds(60)))
        return Error{"test", 1, "load timed out", {}, {}};
    return *loaded;
}

class PanePhone : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Prefs::registerUserDefaults();
        sim = phonesim::Simulator::start().release();
        setResourceDirectory(sim->resourceDir().string());
        client = std::make_shared<OVDeviceClient>();
        const auto error = connect(*client, *sim);
        ASSERT_FALSE(error) << error->description();
    }
    static void TearDownTestSuite()
    {
        client.reset();
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        OVMainWindowController::setErrorPresenter([this](const Error& e, QWidget*) { presented.push_back(e); });
        Prefs::shared().setValue(QStringLiteral("UseSoundEffect"), true);
        sim->misbehave(sim->serial(), "stall-transfer", false);
        ASSERT_TRUE(local.isValid());
        folderName = std::string("PaneTest/") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(phoneRoot() / folderName);
        pane.setClient(client);
        pane.setViewType(4);
        pane.loadView();
        pane.folder = OVViewModel::make(phoneFolder(folderName), QString::fromStdString(sim->serial()));
    }
    void TearDown() override
    {
        OVMainWindowController::setErrorPresenter({});
    }

    static fs::path phoneRoot() { return sim->phoneRoot(sim->serial()); }
    fs::path phonePath(const std::string& name) const { return phoneRoot() / folderName / name; }
    void putPhone(const std::string& name, const QByteArray& bytes) const
    {
        fs::create_directories(phonePath(name).parent_path());
        std::ofstream(phonePath(name), std::ios::binary).write(bytes.constData(), bytes.size());
    }
    QByteArray phoneBytes(const std::string& name) const { return readFile(q(phonePath(name))); }

    // The folder's entries as the phone lists them, as view models.
    std::vector<OVViewModelRef> listing()
    {
        std::optional<std::vector<OVFileRef>> files;
        client->filesInDirectory(phoneFolder(folderName), [&](std::vector<OVFileRef> f, std::optional<Error>) {
            files = std::move(f);
        });
        EXPECT_TRUE(qtWaitUntil([&] { return files.has_value(); }));
        std::vector<OVViewModelRef> models;
        for (const auto& file : files.value_or(std::vector<OVFileRef>{}))
            models.push_back(OVViewModel::make(file, QString::fromStdString(sim->serial())));
        return models;
    }
    OVViewModelRef entry(const QString& name)
    {
        for (const auto& model : listing())
            if (model->rawfilename() == name)
                return model;
        return nullptr;
    }
    bool waitIdle() { return qtWaitUntil([&] { return !pane.isTransferRunning(); }, std::chrono::seconds(60)); }

    static inline phonesim::Simulator* sim = nullptr;
    static inline std::shared_ptr<OVDeviceClient> client;
    std::string folderName;
    QTemporaryDir local;
    test::PaneSeams seams;
    test::ScriptedDialogs& dialogs = seams.dialogs;
    test::RecordingSounds& sounds = seams.sounds;
    test::RecordingLauncher& launcher = seams.launcher;
    std::vector<Error> presented;
    test::TestPane pane;
};

TEST_F(PanePhone, ImportAnswersEachNameClashAsChosen)
{
    const struct {
        Clash answer;
        QByteArray a;        // a.txt on the phone afterwards
        QByteArray a1;       // a_1.txt
        bool bArrives;       // b.txt, copied after the clash
    } cases[] = {
        {Clash::Replace, "new a", "<missing>", true},
        {Clash::KeepBoth, "old a", "new a", true},
        {Clash::Stop, "old a", "<missing>", false},
    };
    for (const auto& c : cases) {
        fs::remove_all(phoneRoot() / folderName);
        putPhone("a.txt", "old a");
        writeFile(local.filePath("src/a.txt"), "new a");
        writeFile(local.filePath("src/b.txt"), "new b");
        dialogs.clashAnswers = {c.answer};
        dialogs.clashes.clear();
        sounds.played.clear();
        std::optional<std::vector<std::string>> arrived;
        pane.doImport({local.filePath("src/a.txt"), local.filePath("src/b.txt")},
                      [&](std::optional<Error> error, std::vector<std::string> paths) {
                          EXPECT_FALSE(error);
                          arrived = paths;
                      });
        ASSERT_TRUE(qtWaitUntil([&] { return arrived.has_value(); }, std::chrono::seconds(60)));
        EXPECT_EQ(dialogs.clashes.size(), 1);
        EXPECT_TRUE(dialogs.clashes.value(0).contains("a.txt"));
        EXPECT_EQ(phoneBytes("a.txt"), c.a);
        EXPECT_EQ(phoneBytes("a_1.txt"), c.a1);
        EXPECT_EQ(phoneBytes("b.txt"), c.bArrives ? QByteArray("new b") : QByteArray("<missing>"));
        // Only what arrived is reported.
        EXPECT_EQ(arrived->size(), c.answer == Clash::Stop ? 0u : 2u);
        // The clash sounds once; a stopped import ends silently.
        using S = PaneSounds::Sound;
        const std::vector<S> expected =
            c.answer == Clash::Stop ? std::vector<S>{S::Error} : std::vector<S>{S::Error, S::Complete};
        EXPECT_EQ(sounds.played, expected);
        EXPECT_FALSE(pane.isTransferRunning());
    }
}

TEST_F(PanePhone, ImportsAFolderAndAsksAboutTheFileInsideThatClashes)
{
    putPhone("album/one.txt", "old one");
    writeFile(local.filePath("album/one.txt"), "new one");
    writeFile(local.filePath("album/deeper/two.txt"), "two");
    dialogs.clashAnswers = {Clash::KeepBoth};
    std::optional<std::vector<std::string>> arrived;
    pane.importAction(false);  // the chooser answers with nothing: no import
    EXPECT_FALSE(pane.isTransferRunning());
    dialogs.importPaths = {local.filePath("album")};
    pane.doImport(dialogs.importPaths, [&](std::optional<Error>, std::vector<std::string> paths) { arrived = paths; });
    ASSERT_TRUE(qtWaitUntil([&] { return arrived.has_value(); }, std::chrono::seconds(60)));
    EXPECT_EQ(dialogs.clashes.size(), 1);
    EXPECT_EQ(phoneBytes("album/one.txt"), "old one");
    EXPECT_EQ(phoneBytes("album/one_1.txt"), "new one");
    EXPECT_EQ(phoneBytes("album/deeper/two.txt"), "two");
    EXPECT_EQ(pane.importDone, std::vector<uint64_t>{2});
    EXPECT_EQ(pane.reloads, 1);
}

TEST_F(PanePhone, ExportNeverOverwritesUnasked)
{
    putPhone("photo.jpg", "from phone");
    putPhone("note.txt", "note");
    const QString destination = local.filePath("out");
    const struct {
        Clash answer;
        QByteArray photo;
        QByteArray photo1;
        QByteArray note;
    } cases[] = {
        {Clash::Replace, "from phone", "<missing>", "note"},
        {Clash::KeepBoth, "mine", "from phone", "note"},
        {Clash::Stop, "mine", "<missing>", "<missing>"},
    };
    for (const auto& c : cases) {
        QDir(destination).removeRecursively();
        writeFile(destination + "/photo.jpg", "mine");
        pane.selection = {entry("photo.jpg"), entry("note.txt")};
        ASSERT_TRUE(pane.selection[0] && pane.selection[1]);
        dialogs.clashAnswers = {c.answer};
        dialogs.clashes.clear();
        std::optional<std::optional<Error>> done;
        pane.doExport(destination, [&](std::optional<Error> error) { done = error; });
        ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, std::chrono::seconds(60)));
        EXPECT_FALSE(*done);
        EXPECT_EQ(dialogs.clashes.size(), 1);
        EXPECT_EQ(readFile(destination + "/photo.jpg"), c.photo);
        EXPECT_EQ(readFile(destination + "/photo_1.jpg"), c.photo1);
        EXPECT_EQ(readFile(destination + "/note.txt"), c.note);
        // Nothing but the results is left in the folder.
        EXPECT_EQ(QDir(destination).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
                  c.answer == Clash::KeepBoth ? 3 : 2 - (c.answer == Clash::Stop ? 1 : 0));
    }
    EXPECT_EQ(pane.exportDone, (std::vector<uint64_t>{2, 2}));
}

TEST_F(PanePhone, DeleteAsksCountsAndReportsAStopHonestly)
{
    for (int i = 0; i < 12; ++i)
        putPhone("f" + std::to_string(100 + i) + ".txt", "x");
    putPhone("sub/inner.txt", "y");

    // Refused: nothing goes.
    pane.selection = listing();
    ASSERT_EQ(pane.selection.size(), 13u);
    dialogs.confirm = false;
    pane.deleteAction();
    EXPECT_EQ(dialogs.deleteQuestions.value(0),
              L10n::text("Delete selected %d folder with everything in it?").replace("%d", "1") + " " +
                  L10n::text("And %d files.").replace("%d", "12"));
    EXPECT_FALSE(pane.isTransferRunning());
    EXPECT_EQ(listing().size(), 13u);

    // Confirmed, then stopped before the first slice: that slice still goes, the rest stays.
    dialogs.confirm = true;
    pane.deleteAction();
    ASSERT_TRUE(pane.isTransferRunning());
    pane.cancelProgressPanelAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(listing().size(), 8u);
    EXPECT_EQ(pane.deleteDone, 0);
    EXPECT_TRUE(pane.deletedMessages.empty());
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains(L10n::format("%@ of %@ deleted", {"5", "13"}))) << dialogs.messages[0].toStdString();

    // Confirmed and run to its end.
    pane.selection = listing();
    pane.deleteAction();
    ASSERT_TRUE(waitIdle());
    EXPECT_TRUE(listing().empty());
    EXPECT_EQ(pane.deleteDone, 1);
    EXPECT_EQ(pane.deletedMessages, std::vector<uint64_t>{8});
    EXPECT_TRUE(presented.empty());
}

TEST_F(PanePhone, OpenCopiesIntoItsOwnFolderAndHandsItToTheApplication)
{
    putPhone("report 100%.txt", "first");
    const OVViewModelRef item = entry("report 100%.txt");
    ASSERT_TRUE(item);
    pane.downloadAndOpenItem(item);
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(launcher.launches.size(), 1);
    const QString first = launcher.launches[0].section(':', 1);
    EXPECT_TRUE(launcher.launches[0].startsWith("default:"));
    EXPECT_EQ(QFileInfo(first).fileName(), "report 100%.txt");
    EXPECT_EQ(readFile(first), "first");

    // A second open of the same name never touches the first copy.
    putPhone("report 100%.txt", "second");
    writeFile(first, "edited by the user");
    pane.downloadAndOpenItem(entry("report 100%.txt"), "editor.desktop");
    ASSERT_TRUE(waitIdle());
    ASSERT_EQ(launcher.launches.size(), 2);
    EXPECT_TRUE(launcher.launches[1].startsWith("editor.desktop:"));
    const QString second = launcher.launches[1].section(':', 1);
    EXPECT_NE(QFileInfo(first).absolutePath(), QFileInfo(second).absolutePath());
    EXPECT_EQ(readFile(second), "second");
    EXPECT_EQ(readFile(first), "edited by the user");

    // No application for the type: the user is told, nothing is launched.
    launcher.hasDefault = false;
    pane.downloadAndOpenItem(entry("report 100%.txt"));
    ASSERT_TRUE(waitIdle());
    EXPECT_EQ(launcher.launches.size(), 2);
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].contains("report 100%.txt"));
}

TEST_F(PanePhone, HostileNamesRoundTripByteExact)
{
    const QStringList names = {
        "quote's \"double\".txt", "dollar $(echo no) $HOME.txt", "back`tick`.txt", "back\\slash.txt",
        QString(251, 'n') + ".txt", QString::fromUtf8("emoji \xF0\x9F\x98\x80\xF0\x9F\x8E\x89.txt"),
    };
    QStringList sources;
    for (int i = 0; i < names.size(); ++i) {
        sources << local.filePath("in/") + names[i];
        writeFile(sources.last(), "bytes of " + QByteArray::number(i) + QByteArray(1, '\0') + names[i].toUtf8());
    }
    std::optional<std::vector<std::string>> arrived;
    pane.doImport(sources, [&](std::optional<Error> error, std::vector<std::string> paths) {
        EXPECT_FALSE(error);
        arrived = paths;
    });
    ASSERT_TRUE(qtWaitUntil([&] { return arrived.has_value(); }, std::chrono::seconds(90)));
    EXPECT_EQ(arrived->size(), static_cast<size_t>(names.size()));
    EXPECT_TRUE(dialogs.clashes.isEmpty());

    std::vector<OVViewModelRef> listed = listing();
    QStringList listedNames;
    for (const auto& model : listed)
        listedNames << model->rawfilename();
    for (const QString& name : names)
        EXPECT_TRUE(listedNames.contains(name)) << name.toStdString();

    pane.selection = listed;
    QDir().mkpath(local.filePath("out"));
    std::optional<std::optional<Error>> done;
    pane.doExport(local.filePath("out"), [&](std::optional<Error> error) { done = error; });
    ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, std::chrono::seconds(90)));
    EXPECT_FALSE(*done);
    for (int i = 0; i < names.size(); ++i)
        EXPECT_EQ(readFile(local.filePath("out/") + names[i]), readFile(sources[i])) << names[i].toStdString();
}

TEST_F(PanePhone, ASlowTransferShowsTheSheetAndCancelStopsIt)
{
    Prefs::shared().setValue(QStringLiteral("ShowProgressPanelDelay"), 0.5);  // still 1.25 s at least
    putPhone("big.bin", QByteArray(512 * 1024, 'b'));
    pane.selection = {entry("big.bin")};
    sim->misbehave(sim->serial(), "stall-transfer", true);
    std::optional<std::optional<Error>> done;
    QElapsedTimer clock;
    clock.start();
    QDir().mkpath(local.filePath("out"));
    pane.doExport(local.filePath("out"), [&](std::optional<Error> error) { done = error; });
    ASSERT_TRUE(qtWaitUntil([&] { return pane.progressPanel() && pane.progressPanel()->isVisible(); }))
;
    EXPECT_GE(clock.elapsed(), 1200);
    EXPECT_EQ(pane.progressPanel()->titleField()->text(), L10n::text("Exporting..."));
    EXPECT_EQ(pane.progressPanel()->windowModality(), Qt::WindowModal);

    pane.progressPanel()->cancelProgressPanelAction();
    EXPECT_FALSE(pane.progressPanel());
    // The copy learns of the stop at its next report, once bytes flow again.
    sim->misbehave(sim->serial(), "stall-transfer", false);
    ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(*done);
    EXPECT_TRUE(sounds.played.empty());  // a stop is not a failure
    EXPECT_TRUE(pane.exportDone.empty());
    EXPECT_TRUE(QDir(local.filePath("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    Prefs::shared().remove(QStringLiteral("ShowProgressPanelDelay"));
}

TEST_F(PanePhone, OneTransferAtATime)
{
    putPhone("big.bin", QByteArray(512 * 1024, 'b'));
    pane.selection = {entry("big.bin")};
    sim->misbehave(sim->serial(), "stall-transfer", true);
    QDir().mkpath(local.filePath("out"));
    bool firstDone = false;
    pane.doExport(local.filePath("out"), [&](std::optional<Error>) { firstDone = true; });
    ASSERT_TRUE(pane.isTransferRunning());
    // A second transfer is refused with a word to the user, before any sheet.
    bool secondCalled = false;
    pane.doImport({local.filePath("none")}, [&](std::optional<Error>, std::vector<std::string>) { secondCalled = true; });
    EXPECT_EQ(dialogs.messages.size(), 1);
    pane.cancelProgressPanelAction();
    sim->misbehave(sim->serial(), "stall-transfer", false);
    ASSERT_TRUE(qtWaitUntil([&] { return firstDone; }, std::chrono::seconds(60)));
    EXPECT_FALSE(secondCalled);
}

// A phone of its own, killed while a copy runs each way.
TEST(PaneUnplug, APhoneThatVanishesMidTransferEndsInAnErrorAndNoPartialFile)
{
    for (const bool exporting : {true, false}) {
        auto sim = phonesim::Simulator::start();
        setResourceDirectory(sim->resourceDir().string());
        auto client = std::make_shared<OVDeviceClient>();
        ASSERT_FALSE(connect(*client, *sim));
        test::PaneSeams seams;
        std::vector<Error> presented;
        OVMainWindowController::setErrorPresenter([&](const Error& e, QWidget*) { presented.push_back(e); });
        QTemporaryDir local;
        const fs::path phoneFolderPath = sim->phoneRoot(sim->serial()) / "Unplug";
        fs::create_directories(phoneFolderPath);
        std::ofstream(phoneFolderPath / "big.bin", std::ios::binary) << std::string(600 * 1024, 'u');
        // A name the phone does not hold yet, so the import asks nothing.
        writeFile(local.filePath("up/new.bin"), QByteArray(600 * 1024, 'u'));
        {
            test::TestPane pane;
            pane.setClient(client);
            pane.loadView();
            pane.folder = OVViewModel::make(phoneFolder("Unplug"), QString::fromStdString(sim->serial()));
            auto file = std::make_shared<OVFile>();
            file->setPath(kStorage + "Unplug/big.bin");
            file->setName("big.bin");
            pane.selection = {OVViewModel::make(file, QString::fromStdString(sim->serial()))};
            sim->misbehave(sim->serial(), "stall-transfer", true);
            std::optional<std::optional<Error>> done;
            QDir().mkpath(local.filePath("out"));
            if (exporting)
                pane.doExport(local.filePath("out"), [&](std::optional<Error> e) { done = e; });
            else
                pane.doImport({local.filePath("up/new.bin")}, [&](std::optional<Error> e, std::vector<std::string>) { done = e; });
            ASSERT_TRUE(pane.isTransferRunning()) << exporting;
            // Wait until the copy is stuck half-way (its sheet is up, or the phone
            // has taken the push), then pull the plug.
            ASSERT_TRUE(qtWaitUntil([&] {
                if (pane.progressPanel() && pane.progressPanel()->isVisible())
                    return true;
                return !exporting && sim->log(sim->serial(), "adb").dump().find("push") != std::string::npos;
            })) << exporting;
            sim.reset();
            ASSERT_TRUE(qtWaitUntil([&] { return done.has_value(); }, std::chrono::seconds(60))) << exporting;
            EXPECT_TRUE(*done) << exporting;
            EXPECT_FALSE(pane.isTransferRunning());
            EXPECT_FALSE(presented.empty()) << exporting;
            if (exporting) {
                EXPECT_TRUE(QDir(local.filePath("out")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
            }
        }
        client.reset();
        OVMainWindowController::setErrorPresenter({});
    }
}

}  // namespace
}  // namespace orv
