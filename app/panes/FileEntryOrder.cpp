#include "app/panes/FileEntryOrder.h"

#include <QCollator>
#include <functional>
#include <limits>
#include <algorithm>

#include "app/toolkit/NSString+Path.h"

namespace orv::file_entry_order {
namespace {

QString nameOf(const OVFile& file) { return lastPathComponent(QString::fromStdString(file.path())); }

QString extensionOf(const QString& name)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : name.mid(dot + 1);
}

// Names as the user reads them: case-insensitive in the user's language.
int compareDisplayNames(const OVViewModel& a, const OVViewModel& b)
{
    static thread_local QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator.compare(a.displayname(), b.displayname());
}

int64_t dateValue(const OVFile::Date& date)
{
    return date ? std::chrono::duration_cast<std::chrono::seconds>(date->time_since_epoch()).count()
                : std::numeric_limits<int64_t>::min();
}

}  // namespace

bool listingLess(const OVFile& a, const OVFile& b)
{
    const bool aDir = a.isDirectory();
    const bool bDir = b.isDirectory();
    if (aDir != bDir)
        return aDir;
    const QString aName = nameOf(a);
    const QString bName = nameOf(b);
    if (!aDir) {
        const int byExtension = extensionOf(aName).compare(extensionOf(bName), Qt::CaseInsensitive);
        if (byExtension != 0)
            return byExtension < 0;
    }
    return aName.compare(bName, Qt::CaseSensitive) < 0;
}

void sortListing(std::vector<OVFileRef>& files)
{
    std::stable_sort(files.begin(), files.end(), [](const OVFileRef& a, const OVFileRef& b) {
        if (!a || !b)
            return a != nullptr && b == nullptr;
        return listingLess(*a, *b);
    });
}

void sortByColumn(std::vector<OVViewModelRef>& models, const QString& column, bool descending)
{
    std::function<bool(const OVViewModel&, const OVViewModel&)> less;
    if (column == QLatin1String("filename")) {
        less = [](const OVViewModel& a, const OVViewModel& b) { return compareDisplayNames(a, b) < 0; };
    } else if (column == QLatin1String("filesize") || column == QLatin1String("lastmodifieddate")) {
        const bool bySize = column == QLatin1String("filesize");
        // Files before folders; folders by name; files largest or newest first.
        less = [bySize](const OVViewModel& a, const OVViewModel& b) {
            if (a.isDir() != b.isDir())
                return !a.isDir();
            if (a.isDir())
                return compareDisplayNames(a, b) < 0;
            if (bySize)
                return a.filesize() > b.filesize();
            return dateValue(a.modifiedDate()) > dateValue(b.modifiedDate());
        };
    } else {
        return;
    }
    std::stable_sort(models.begin(), models.end(),
                     [&less](const OVViewModelRef& a, const OVViewModelRef& b) { return less(*a, *b); });
    if (descending)
        std::reverse(models.begin(), models.end());
}

}  // namespace orv::file_entry_order
