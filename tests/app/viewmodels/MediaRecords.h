#pragma once
// Phone records for the view-model tests, and a pinned time zone.

#include <QByteArray>
#include <QDateTime>
#include <QTimeZone>
#include <cstdlib>
#include <ctime>
#include <string>

#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/facade/OVLocalization.h"
#include "core/bridge/model/OVVideoFile.h"

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }

namespace orv::test {

// Sets the process's time zone for the life of the object.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone) : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (had_)
            qputenv("TZ", old_);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    QByteArray old_;
    bool had_;
};

// A moment given as local wall-clock text "yyyy-MM-dd HH:mm" in the current zone.
inline std::chrono::system_clock::time_point local(const char* text)
{
    const QDateTime when = QDateTime::fromString(QString::fromLatin1(text), QStringLiteral("yyyy-MM-dd HH:mm"));
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(when.toMSecsSinceEpoch()));
}

template <class Record = OVImageFile>
std::shared_ptr<Record> media(const std::string& path, OVFile::Date created = std::nullopt, uint64_t size = 0,
                              OVFile::Date modified = std::nullopt)
{
    auto file = std::make_shared<Record>();
    file->setPath(path);
    file->setCreatedDate(created);
    file->setModifiedDate(modified ? modified : created);
    file->setSize(size);
    return file;
}

// Date formats of digits only, so headers read the same in every locale.
inline void useDigitDateFormats()
{
    setLocalizedStringProvider([](const std::string& key) -> std::optional<std::string> {
        if (key == "PhotoYearMonthDay")
            return "yyyy-MM-dd";
        if (key == "PhotoMonthDay")
            return "MM-dd";
        if (key == "PhotoYearMonth")
            return "yyyy-MM";
        if (key == "PhotoMonth")
            return "MM";
        return std::nullopt;
    });
}

}  // namespace orv::test
