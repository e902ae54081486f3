#include "core/bridge/adb/PhoneListing.h"

#include <algorithm>
#include <ctime>
#include <unordered_map>

#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/model/MediaTypes.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/adb/PhonePath.h"

namespace orv {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

size_t skipDigits(std::string_view s, size_t at)
{
    while (at < s.size() && isDigit(s[at]))
        ++at;
    return at;
}

size_t skipBlanks(std::string_view s, size_t at)
{
    while (at < s.size() && isBlank(s[at]))
        ++at;
    return at;
}

// The date "dddd-d+-d+<blanks>d+:d+" at `at`, followed by one blank; returns
// the position of the name, or npos.
size_t matchDate(std::string_view s, size_t at, size_t* dateEnd)
{
    const size_t npos = std::string_view::npos;
    size_t p = at;
    for (int i = 0; i < 4; ++i, ++p)
        if (p >= s.size() || !isDigit(s[p]))
            return npos;
    if (p >= s.size() || s[p] != '-')
        return npos;
    size_t q = skipDigits(s, p + 1);
    if (q == p + 1 || q >= s.size() || s[q] != '-')
        return npos;
    size_t day = skipDigits(s, q + 1);
    if (day == q + 1)
        return npos;
    size_t hour = skipBlanks(s, day);
    if (hour == day)
        return npos;
    size_t colon = skipDigits(s, hour);
    if (colon == hour || colon >= s.size() || s[colon] != ':')
        return npos;
    size_t minute = skipDigits(s, colon + 1);
    if (minute == colon + 1 || minute >= s.size() || !isBlank(s[minute]))
        return npos;
    *dateEnd = minute;
    return minute + 1;
}

}  // namespace

std::optional<PhoneListingEntry> parsePhoneListingLine(std::string_view line)
{
    if (line.empty() || (line[0] != '-' && line[0] != 'd' && line[0] != 'D'))
        return std::nullopt;
    // The first blank, optional size and blank that a date follows: owner and
    // group never hold a date, a name may.
    for (size_t p = 1; p < line.size(); ++p) {
        if (!isBlank(line[p]))
            continue;
        size_t sizeEnd = skipDigits(line, p + 1);
        if (sizeEnd >= line.size() || !isBlank(line[sizeEnd]))
            continue;
        size_t dateEnd = 0;
        size_t nameAt = matchDate(line, sizeEnd + 1, &dateEnd);
        if (nameAt == std::string_view::npos)
            continue;
        PhoneListingEntry entry;
        entry.directory = line[0] != '-';
        entry.size = unsignedIntegerValue(line.substr(p + 1, sizeEnd - p - 1));
        entry.date = line.substr(sizeEnd + 1, dateEnd - sizeEnd - 1);
        entry.name = line.substr(nameAt);
        if (entry.name.empty() || entry.name == "." || entry.name == "..")
            return std::nullopt;
        return entry;
    }
    return std::nullopt;
}

std::string unescapedListingName(std::string_view printed)
{
    std::string name;
    name.reserve(printed.size());
    for (size_t i = 0; i < printed.size(); ++i) {
        const char c = printed[i];
        if (c != '\\' || i + 1 == printed.size()) {
            name += c;
            continue;
        }
        const char next = printed[++i];
        if (next >= '0' && next <= '7' && i + 2 < printed.size() && printed[i + 1] >= '0' && printed[i + 1] <= '7' &&
            printed[i + 2] >= '0' && printed[i + 2] <= '7') {
            name += char(((next - '0') << 6) | ((printed[i + 1] - '0') << 3) | (printed[i + 2] - '0'));
            i += 2;
            continue;
        }
        switch (next) {
        case 'a': name += '\a'; break;
        case 'b': name += '\b'; break;
        case 'e': name += '\x1b'; break;
        case 'f': name += '\f'; break;
        case 'n': name += '\n'; break;
        case 'r': name += '\r'; break;
        case 't': name += '\t'; break;
        case 'v': name += '\v'; break;
        case '\\':
        case ' ': name += next; break;
        default:
            name += '\\';
            name += next;
        }
    }
    return name;
}

OVFile::Date phoneListingDate(std::string_view text)
{
    size_t p = 0;
    auto number = [&](int& out) {
        size_t start = p;
        long value = 0;
        while (p < text.size() && isDigit(text[p]) && p - start < 9)
            value = value * 10 + (text[p++] - '0');
        out = static_cast<int>(value);
        return p > start;
    };
    auto expect = [&](char c) {
        if (p < text.size() && text[p] == c) {
            ++p;
            return true;
        }
        return false;
    };
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    bool ok = number(year) && expect('-') && number(month) && expect('-') && number(day);
    if (ok) {
        size_t blanks = p;
        while (p < text.size() && isBlank(text[p]))
            ++p;
        ok = p > blanks && number(hour) && expect(':') && number(minute) && p == text.size();
    }
    if (!ok || month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59)
        return std::nullopt;

    // mktime consults the time zone on every call, and a listing repeats the
    // same few hours, so the start of each hour is kept per thread. Clocks
    // change on whole hours, so the minutes simply add on.
    thread_local std::unordered_map<int64_t, std::time_t> hourStarts;
    const int64_t key = ((int64_t(year) * 13 + month) * 32 + day) * 24 + hour;
    auto found = hourStarts.find(key);
    if (found == hourStarts.end()) {
        std::tm fields{};
        fields.tm_year = year - 1900;
        fields.tm_mon = month - 1;
        fields.tm_mday = day;
        fields.tm_hour = hour;
        fields.tm_isdst = -1;
        std::time_t seconds = std::mktime(&fields);
        if (seconds == std::time_t(-1))
            return std::nullopt;
        if (hourStarts.size() >= 4096)
            hourStarts.clear();
        found = hourStarts.emplace(key, seconds).first;
    }
    // Years the clock cannot hold (before 1678, after 2261) give no date.
    return OVFile::dateFromSeconds(double(found->second + std::time_t(minute) * 60));
}

bool phoneListingLineSelected(std::string_view line, uint64_t typeFlags)
{
    if (typeFlags == 0)
        return true;
    std::vector<std::string_view> terms;
    if (typeFlags & OVFile::TypeDirectory)
        terms.push_back("dr");
    if (typeFlags & OVFile::TypeImage)
        terms.insert(terms.end(), {"jpg", "png", "jpeg", "gif", "bmp"});
    if (typeFlags & OVFile::TypeVideo)
        terms.push_back("mp4");
    if (typeFlags & OVFile::TypeAudio)
        terms.push_back("mp3");
    return std::any_of(terms.begin(), terms.end(),
                       [line](std::string_view term) { return line.find(term) != std::string_view::npos; });
}

namespace {

// True when every line of the output ends in "\r\n": a terminal added the
// carriage returns.
bool terminalLineEnds(std::string_view output)
{
    bool any = false;
    for (size_t end = output.find('\n'); end != std::string_view::npos; end = output.find('\n', end + 1)) {
        if (end == 0 || output[end - 1] != '\r')
            return false;
        any = true;
    }
    return any;
}

}  // namespace

std::vector<OVFileRef> filesFromPhoneListing(std::string_view output, const std::string& folderPath,
                                             const std::shared_ptr<OVDirectoryFile>& parent, uint64_t typeFlags,
                                             PhoneListingForm form)
{
    const bool escaped = form == PhoneListingForm::Escaped;
    // An escaped name prints its own carriage returns as "\r".
    const bool dropCarriageReturns = escaped || terminalLineEnds(output);
    std::vector<OVFileRef> files;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string_view::npos)
            end = output.size();
        std::string_view line = output.substr(start, end - start);
        start = end + 1;
        if (dropCarriageReturns && !line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!phoneListingLineSelected(line, typeFlags))
            continue;
        auto parsed = parsePhoneListingLine(line);
        if (!parsed)
            continue;
        const std::string name = escaped ? unescapedListingName(parsed->name) : std::string(parsed->name);
        if (name.empty() || name == "." || name == "..")
            continue;
        const PhoneListingEntry& entry = *parsed;
        OVFileRef file;
        if (entry.directory) {
            file = std::make_shared<OVDirectoryFile>();
        } else {
            switch (mediaKindForPath(name)) {
            case MediaKind::Image: file = std::make_shared<OVImageFile>(); break;
            case MediaKind::Movie: file = std::make_shared<OVVideoFile>(); break;
            case MediaKind::Audio: file = std::make_shared<OVAudioFile>(); break;
            case MediaKind::None: file = std::make_shared<OVFile>(); break;
            }
            file->setSize(entry.size);
            OVFile::Date date = phoneListingDate(entry.date);
            file->setCreatedDate(date);
            file->setModifiedDate(date);
        }
        file->setName(name);
        file->setPath(appendingPathComponent(folderPath, name));
        file->setParent(parent);
        files.push_back(std::move(file));
    }
    return files;
}

}  // namespace orv
