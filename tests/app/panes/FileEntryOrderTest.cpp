// The file browser's orders: the listing order (folders first, then files by
// extension ignoring case, then by name) and the list view's column sorts.

#include <gtest/gtest.h>

#include "app/panes/FileEntryOrder.h"
#include "app/panes/OVFileViewController.h"
#include "app/shell/L10n.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {
namespace {

OVFileRef entry(const std::string& name, bool folder, uint64_t size = 0, int64_t modified = 0)
{
    OVFileRef file = folder ? OVFileRef(std::make_shared<OVDirectoryFile>()) : std::make_shared<OVFile>();
    file->setName(name);
    file->setPath("/storage/emulated/legacy/x/" + name + (folder ? "/" : ""));
    file->setSize(size);
    file->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(modified)));
    return file;
}

std::vector<std::string> names(const std::vector<OVFileRef>& files)
{
    std::vector<std::string> out;
    for (const auto& file : files)
        out.push_back(file->name());
    return out;
}

std::vector<std::string> names(const std::vector<OVViewModelRef>& models)
{
    std::vector<std::string> out;
    for (const auto& model : models)
        out.push_back(model->rawfilename().toStdString());
    return out;
}

TEST(FileEntryOrder, ListingPutsFoldersFirstAndFilesByExtensionThenName)
{
    const struct {
        std::vector<std::pair<std::string, bool>> given;
        std::vector<std::string> expected;
    } cases[] = {
        // Folders by plain, case-sensitive name: capitals first.
        {{{"b", true}, {"A", true}, {"a", true}}, {"A", "a", "b"}},
        // Extensions compared ignoring case, then names.
        {{{"x.TXT", false}, {"y.txt", false}, {"a.png", false}}, {"a.png", "x.TXT", "y.txt"}},
        // A file without an extension first; folders before every file.
        {{{"z.jpg", false}, {"README", false}, {"docs", true}, {"Zeta", true}}, {"Zeta", "docs", "README", "z.jpg"}},
        // A dot-file's extension is what follows its last dot.
        {{{".profile", false}, {"a.b.c", false}, {"b.c", false}}, {"a.b.c", "b.c", ".profile"}},
    };
    for (const auto& c : cases) {
        std::vector<OVFileRef> files;
        for (const auto& [name, folder] : c.given)
            files.push_back(entry(name, folder));
        file_entry_order::sortListing(files);
        EXPECT_EQ(names(files), c.expected);
    }
}

TEST(FileEntryOrder, ColumnSortsReorderAsTheListShows)
{
    std::vector<OVViewModelRef> models;
    for (const auto& file : {entry("B", true), entry("a", true), entry("small.txt", false, 10, 300),
                             entry("big.bin", false, 5000, 100), entry("mid.png", false, 700, 200)})
        models.push_back(OVViewModel::make(file, "S"));
    const struct {
        const char* column;
        bool descending;
        std::vector<std::string> expected;
    } cases[] = {
        {"filename", false, {"a", "B", "big.bin", "mid.png", "small.txt"}},
        // Files before folders, the largest first; folders by name.
        {"filesize", false, {"big.bin", "mid.png", "small.txt", "a", "B"}},
        // Descending reverses the whole list.
        {"filesize", true, {"B", "a", "small.txt", "mid.png", "big.bin"}},
        {"lastmodifieddate", false, {"small.txt", "mid.png", "big.bin", "a", "B"}},
        {"unknown", false, {"B", "a", "small.txt", "big.bin", "mid.png"}},
    };
    for (const auto& c : cases) {
        std::vector<OVViewModelRef> sorted = models;
        file_entry_order::sortByColumn(sorted, c.column, c.descending);
        EXPECT_EQ(names(sorted), c.expected) << c.column << (c.descending ? " descending" : "");
    }
}

TEST(FileBrowserStatusLine, CountsWithSingularAndPlural)
{
    L10n::setTable({{"item", "item"}, {"items", "items"}, {"Selected", "Selected"}, {"Total", "Total"}});
    EXPECT_EQ(OVFileViewController::statusText(0, 0), "0 item");
    EXPECT_EQ(OVFileViewController::statusText(0, 1), "1 item");
    EXPECT_EQ(OVFileViewController::statusText(0, 2), "2 items");
    EXPECT_EQ(OVFileViewController::statusText(1, 3), "Selected 1 item (Total 3 items)");
    EXPECT_EQ(OVFileViewController::statusText(4, 3), "Selected 4 items (Total 3 items)");
}

}  // namespace
}  // namespace orv
