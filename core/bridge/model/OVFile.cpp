#include "core/bridge/model/OVFile.h"

#include <cmath>

#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/OVADBConstants.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

OVFile::~OVFile() = default;

bool OVFile::isDirectory() const
{
    return directory_;
}

std::string OVFile::description() const
{
    return path();
}

std::string OVFile::name() const { return locked(name_); }
void OVFile::setName(std::string name) { store(name_, std::move(name)); }
std::string OVFile::path() const { return locked(path_); }
void OVFile::setPath(std::string path) { store(path_, std::move(path)); }
uint64_t OVFile::size() const { return locked(size_); }
void OVFile::setSize(uint64_t size) { store(size_, size); }
OVFile::Date OVFile::createdDate() const { return locked(createdDate_); }
void OVFile::setCreatedDate(Date date) { store(createdDate_, date); }
OVFile::Date OVFile::modifiedDate() const { return locked(modifiedDate_); }
void OVFile::setModifiedDate(Date date) { store(modifiedDate_, date); }
std::string OVFile::adb_relativePath() const { return locked(relativePath_); }
void OVFile::adb_setRelativePath(std::string relativePath) { store(relativePath_, std::move(relativePath)); }

std::shared_ptr<OVDirectoryFile> OVFile::parent() const
{
    std::lock_guard lock(mutex_);
    return parent_.lock();
}

void OVFile::setParent(const std::shared_ptr<OVDirectoryFile>& parent)
{
    store(parent_, std::weak_ptr<OVDirectoryFile>(parent));
}

std::optional<std::vector<OVFileRef>> OVFile::children() const
{
    return locked(children_);
}

void OVFile::setChildren(std::optional<std::vector<OVFileRef>> children)
{
    if (!children)
        return;
    store(children_, std::move(children));
}

std::string OVFile::relativePathToSDCard() const
{
    return orv::relativePathToSDCard(path());
}

size_t OVFile::hash() const
{
    return std::hash<std::string>{}(path());
}

bool OVFile::isEqual(const OVFile& other) const
{
    return this == &other || path() == other.path();
}

std::string OVFile::pathFromMediaLibraryPath(const std::string& path)
{
    const auto& constants = OVADBConstants::sharedInstance();
    if (auto rest = removingPathPrefix(path, constants.mediaLibraryRoot()))
        return constants.SDCardRoot() + *rest;
    return path;
}

OVFile::Date OVFile::dateFromSeconds(double seconds)
{
    // The clock counts nanoseconds in 64 bits, about 292 years either side
    // of 1970; a date past that (a millisecond count sent as seconds) is
    // no date rather than an overflowing conversion.
    constexpr double kLimit = 9.22e9;
    if (!(seconds > -kLimit && seconds < kLimit))
        return std::nullopt;
    using namespace std::chrono;
    return system_clock::time_point(duration_cast<system_clock::duration>(duration<double>(seconds)));
}

void OVFile::setValueForKey(const std::string& key, const nlohmann::json& value)
{
    if (key == "_data") {
        if (auto text = recordString(value))
            setPath(pathFromMediaLibraryPath(*text));
    } else if (key == "_display_name") {
        if (auto text = recordString(value))
            setName(*text);
    } else if (key == "_size") {
        if (auto number = recordUnsigned(value))
            setSize(*number);
    } else if (key == "date_added") {
        if (auto seconds = recordDouble(value))
            setCreatedDate(dateFromSeconds(*seconds));
    } else if (key == "date_modified") {
        if (auto seconds = recordDouble(value))
            setModifiedDate(dateFromSeconds(*seconds));
    } else {
        setPropertyForKey(key, value);
    }
}

bool OVFile::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVFile> table = {
        {"name", [](OVFile& f, const nlohmann::json& v) { if (auto s = recordString(v)) f.setName(*s); }},
        {"path", [](OVFile& f, const nlohmann::json& v) { if (auto s = recordString(v)) f.setPath(*s); }},
        {"size", [](OVFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setSize(*n); }},
    };
    return applyKeyTable(table, *this, key, value);
}

void OVFile::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    if (!record.is_object())
        return;
    for (const auto& [key, value] : record.items())
        setValueForKey(key, value);
}

}  // namespace orv
