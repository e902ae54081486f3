#pragma once
// A file or folder of the phone, the base of the device file model. Objects
// are shared (OVFileRef) between the bridge's threads and the interface, so
// every field is read and written under the object's lock. The identity of a
// record is its path: records of any class with equal paths are equal.
//
// Records from the companion service are applied through explicit key tables
// (setValuesForKeysWithDictionary): a record key fills only the field that a
// table names for it, with the value converted to the field's type; keys no
// table names are ignored, and object fields (parent, children, album,
// thumbnail) are never filled from record values.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace orv {

class OVFile;
class OVDirectoryFile;
using OVFileRef = std::shared_ptr<OVFile>;

class OVFile : public std::enable_shared_from_this<OVFile> {
public:
    using Date = std::optional<std::chrono::system_clock::time_point>;
    using Data = std::shared_ptr<const std::vector<uint8_t>>;

    // File-type flags, also used by listing filters and change registrations.
    enum Type : uint64_t { TypeDirectory = 1, TypeImage = 2, TypeVideo = 4, TypeAudio = 8, TypeOther = 16 };

    OVFile() = default;
    virtual ~OVFile();
    OVFile(const OVFile&) = delete;
    OVFile& operator=(const OVFile&) = delete;

    virtual const char* className() const { return "OVFile"; }
    virtual uint64_t type() const { return TypeOther; }
    virtual bool isDirectory() const;
    // For logs: the path.
    virtual std::string description() const;

    std::string name() const;
    void setName(std::string name);
    std::string path() const;
    void setPath(std::string path);
    virtual uint64_t size() const;
    void setSize(uint64_t size);
    Date createdDate() const;
    void setCreatedDate(Date date);
    Date modifiedDate() const;
    void setModifiedDate(Date date);

    // The containing folder, where a builder set one. Held weakly, so a
    // folder that holds its children does not keep itself alive.
    std::shared_ptr<OVDirectoryFile> parent() const;
    void setParent(const std::shared_ptr<OVDirectoryFile>& parent);

    // Contents of a folder or album; nullopt until filled. Setting nullopt
    // keeps the current children.
    std::optional<std::vector<OVFileRef>> children() const;
    void setChildren(std::optional<std::vector<OVFileRef>> children);

    // The path relative to the phone's storage root (see relativePathToSDCard).
    std::string relativePathToSDCard() const;

    // The path of this file below a download's destination folder, set while
    // a download is planned.
    std::string adb_relativePath() const;
    void adb_setRelativePath(std::string relativePath);

    size_t hash() const;
    bool isEqual(const OVFile& other) const;
    bool operator==(const OVFile& other) const { return isEqual(other); }

    // Fills the record from one companion-service record (a JSON object);
    // each class applies its base class's rules first, then its own.
    virtual void setValuesForKeysWithDictionary(const nlohmann::json& record);
    // The base class's rule for one key: the record keys of every file
    // ("_data", "_display_name", "_size", "date_added", "date_modified"), else
    // the field of that name from the class's key table, else nothing.
    void setValueForKey(const std::string& key, const nlohmann::json& value);

    // "_data" paths name the storage as the media library does; the bridge
    // names it by its own root. Only a leading root is rewritten.
    static std::string pathFromMediaLibraryPath(const std::string& path);
    // A record time in seconds since 1970; nullopt when not finite or outside
    // the years the clock holds (1678 to 2261).
    static Date dateFromSeconds(double seconds);

protected:
    // The key table: sets the field named `key`, converted to its type, and
    // answers true; false when the class has no field of that name.
    virtual bool setPropertyForKey(const std::string& key, const nlohmann::json& value);

    template <class T>
    T locked(const T& field) const
    {
        std::lock_guard lock(mutex_);
        return field;
    }
    template <class T, class V>
    void store(T& field, V&& value)
    {
        std::lock_guard lock(mutex_);
        field = std::forward<V>(value);
    }

    mutable std::mutex mutex_;

private:
    std::string name_;
    std::string path_;
    uint64_t size_ = 0;
    Date createdDate_;
    Date modifiedDate_;
    bool directory_ = false;  // stored flag: never set; subclasses answer for themselves
    std::weak_ptr<OVDirectoryFile> parent_;
    std::optional<std::vector<OVFileRef>> children_;
    std::string relativePath_;
};

// Hash and equality by path, for unordered containers of records.
struct OVFileRefHash {
    size_t operator()(const OVFileRef& file) const { return file ? file->hash() : 0; }
};
struct OVFileRefEqual {
    bool operator()(const OVFileRef& a, const OVFileRef& b) const
    {
        return a && b ? a->isEqual(*b) : a == b;
    }
};

// A table of record keys and the setters of one class.
template <class T>
using OVKeyTable = std::vector<std::pair<const char*, void (*)(T&, const nlohmann::json&)>>;

template <class T>
bool applyKeyTable(const OVKeyTable<T>& table, T& object, const std::string& key, const nlohmann::json& value)
{
    for (const auto& [name, setter] : table) {
        if (key == name) {
            setter(object, value);
            return true;
        }
    }
    return false;
}

// Defines a getter and setter of a field kept under the record's lock.
#define OV_LOCKED_PROPERTY(Class, Type, getter, setter, member) \
    Type Class::getter() const { return locked(member); }       \
    void Class::setter(Type value) { store(member, std::move(value)); }

}  // namespace orv
