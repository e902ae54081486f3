// Dragging phone files out: a drop target that asks for "text/uri-list" gets
// the files copied byte-exact into a private staging folder (two files of one
// name kept apart, folders whole), which goes with the drag's data; a drag
// too large is refused with the hint to use Export, before it starts or when
// the phone reports a folder's size; a cancelled copy leaves nothing behind.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QMimeData>

#include "QtWait.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/shell/L10n.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "phonesim/Simulator.h"
#include "tests/app/viewmodels/PrivateHome.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::qtWaitUntil;

const std::string kFolder = "/storage/emulated/legacy/DragOut";

// A drop target of another program: when the drop lands it asks for the URL
// list, as the raw text and as URLs.
struct DropTarget {
    QList<QUrl> received;
    QByteArray raw;
};

QList<QUrl> dropOn(DropTarget& target, const QMimeData* data)
{
    target.raw = data->data(QStringLiteral("text/uri-list"));
    target.received = data->urls();
    return target.received;
}

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class DragOut : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(L10n::load(QStringLiteral(ORVANE_SOURCE_DIR "/resources/Localizable.json")));
        sim = phonesim::Simulator::start().release();
        setResourceDirectory(sim->resourceDir().string());
        const std::string serial = sim->serial();
        sim->putFile(serial, "/sdcard/DragOut/notes.txt", "first notes\n");
        sim->putFile(serial, "/sdcard/DragOut/inner/notes.txt", std::string("second\0notes", 12));
        sim->putFile(serial, "/sdcard/DragOut/inner/deeper/photo.bin", std::string(70000, 'p'));
        sim->putFile(serial, "/sdcard/DragOut/it's $(odd) `name`.txt", "quoted\n");
        client = new OVDeviceClient;
        std::optional<std::optional<Error>> loaded;
        client->updateWithSerialNumber(serial, [&](std::optional<Error> e) { loaded = e; });
        ASSERT_TRUE(qtWaitUntil([&] { return loaded.has_value(); }, std::chrono::seconds(60)));
        ASSERT_FALSE(*loaded) << (*loaded)->description();
    }
    static void TearDownTestSuite()
    {
        delete client;
        client = nullptr;
        delete sim;
        sim = nullptr;
    }
    void SetUp() override { sim->set(sim->serial(), "transfer-rate", "0"); }

    static std::vector<OVViewModelRef> list(const std::string& folder)
    {
        auto dir = std::make_shared<OVDirectoryFile>();
        dir->setPath(folder);
        std::optional<std::vector<OVFileRef>> files;
        client->filesInDirectory(dir, [&](std::vector<OVFileRef> f, std::optional<Error> e) {
            EXPECT_FALSE(e);
            files = std::move(f);
        });
        EXPECT_TRUE(qtWaitUntil([&] { return files.has_value(); }, std::chrono::seconds(60)));
        std::vector<OVViewModelRef> models;
        for (const auto& f : files.value_or(std::vector<OVFileRef>{}))
            models.push_back(OVViewModel::make(f, QString::fromStdString(sim->serial())));
        return models;
    }
    static OVViewModelRef named(const std::vector<OVViewModelRef>& models, const QString& name)
    {
        for (const auto& m : models)
            if (m->rawfilename() == name)
                return m;
        ADD_FAILURE() << name.toStdString();
        return nullptr;
    }

    static inline phonesim::Simulator* sim = nullptr;
    static inline OVDeviceClient* client = nullptr;
};

TEST_F(DragOut, ADropGetsByteExactCopiesThatGoWithTheDrag)
{
    const auto top = list(kFolder);
    const auto inner = list(kFolder + "/inner");
    std::vector<OVViewModelRef> selection{named(top, "notes.txt"), named(inner, "notes.txt"), named(inner, "deeper"),
                                          named(top, "it's $(odd) `name`.txt")};
    auto exporter = std::make_unique<OVDragOutExporter>(*client, selection);
    exporter->setCleanupDelay(0);
    OVDragOutExporter* ex = exporter.get();
    auto* data = new OVDragOutMimeData(std::move(exporter));
    EXPECT_EQ(data->formats(), QStringList{"text/uri-list"});
    EXPECT_FALSE(ex->hasStaged());  // nothing is copied before the target asks

    DropTarget target;
    const QList<QUrl> urls = dropOn(target, data);
    ASSERT_EQ(urls.size(), 4);
    const QString staging = ex->stagingFolder();
    ASSERT_FALSE(staging.isEmpty());
    EXPECT_EQ(QFileInfo(staging).permissions() & (QFile::ReadGroup | QFile::ReadOther), QFile::Permissions());
    for (const QUrl& url : urls)
        EXPECT_TRUE(url.toLocalFile().startsWith(staging + "/")) << url.toString().toStdString();
    EXPECT_EQ(contents(urls[0].toLocalFile()), "first notes\n");
    EXPECT_EQ(contents(urls[1].toLocalFile()), QByteArray("second\0notes", 12));
    EXPECT_NE(urls[0], urls[1]);  // one name, two files: kept apart
    EXPECT_EQ(contents(urls[2].toLocalFile() + "/photo.bin"), QByteArray(70000, 'p'));
    EXPECT_EQ(contents(urls[3].toLocalFile()), "quoted\n");
    EXPECT_EQ(QFileInfo(urls[3].toLocalFile()).fileName(), "it's $(odd) `name`.txt");
    // The raw list is the same, one URL a line.
    EXPECT_EQ(target.raw.count("\r\n"), 4);

    // Asked again (another format, or the target asks twice): no second copy.
    sim->clearLog();
    EXPECT_EQ(data->urls(), urls);
    EXPECT_TRUE(sim->log(sim->serial(), "adb").empty());

    delete data;
    EXPECT_FALSE(QFileInfo::exists(staging));
}

TEST_F(DragOut, ATooLargeDragIsRefusedWithTheHintToExport)
{
    const auto top = list(kFolder);
    OVDragOutExporter before(*client, {named(top, "notes.txt")});
    before.setSizeLimit(5);
    QSignalSpy hints(&before, &OVDragOutExporter::refused);
    EXPECT_FALSE(before.canStartDrag());
    ASSERT_EQ(hints.size(), 1);
    EXPECT_TRUE(hints[0][0].toString().contains("Export"));
    EXPECT_TRUE(before.stage().isEmpty());
    EXPECT_TRUE(before.stagingFolder().isEmpty());

    // A folder's size is known only when the phone counts it.
    OVDragOutExporter folder(*client, {named(top, "inner")});
    folder.setSizeLimit(1000);
    folder.setCleanupDelay(0);
    QSignalSpy folderHints(&folder, &OVDragOutExporter::refused);
    EXPECT_TRUE(folder.canStartDrag());
    EXPECT_TRUE(folder.stage().isEmpty());
    ASSERT_GE(folderHints.size(), 1);
    EXPECT_TRUE(folderHints[0][0].toString().contains("Export"));
    EXPECT_TRUE(folder.stagingFolder().isEmpty());  // removed with whatever had arrived
}

TEST_F(DragOut, ACancelledCopyLeavesNothing)
{
    sim->set(sim->serial(), "transfer-rate", "20000");  // the 70 kB photo takes seconds
    const auto inner = list(kFolder + "/inner");
    OVDragOutExporter exporter(*client, {named(inner, "deeper")});
    exporter.setCleanupDelay(0);
    exporter.setProgressDelay(60000);
    QString staging;
    QObject::connect(&exporter, &OVDragOutExporter::progress, &exporter, [&](int) {
        staging = exporter.stagingFolder();
        exporter.cancel();
    });
    QSignalSpy hints(&exporter, &OVDragOutExporter::refused);
    EXPECT_TRUE(exporter.stage().isEmpty());
    EXPECT_FALSE(staging.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(staging));
    EXPECT_EQ(hints.size(), 0);  // the user's own cancel needs no message
    EXPECT_TRUE(sim->waitIdle(std::chrono::seconds(30)));
}

}  // namespace
}  // namespace orv
