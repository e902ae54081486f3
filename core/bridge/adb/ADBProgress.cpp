#include "core/bridge/adb/ADBProgress.h"

#include "core/bridge/adb/ADBStrings.h"

namespace orv {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

size_t digitsFrom(std::string_view text, size_t at)
{
    size_t end = at;
    while (end < text.size() && isDigit(text[end]))
        ++end;
    return end;
}

}  // namespace

// Equivalent to matching "(.*) (\d*)/(\d*) (.*)[(](\d+)%" against one line:
// the greedy first group puts the counts at the last " d/d " that still has a
// "(N%" after it, and the greedy fourth group takes the last "(N%".
std::optional<ADBProgressLine> parseADBProgressLine(std::string_view line)
{
    const size_t npos = std::string_view::npos;
    size_t lastParen = npos;
    for (size_t i = line.size(); i-- > 0;) {
        if (line[i] != '(')
            continue;
        size_t end = digitsFrom(line, i + 1);
        if (end > i + 1 && end < line.size() && line[end] == '%') {
            lastParen = i;
            break;
        }
    }
    if (lastParen == npos)
        return std::nullopt;
    for (size_t space = lastParen; space-- > 0;) {
        if (line[space] != ' ')
            continue;
        size_t doneEnd = digitsFrom(line, space + 1);
        if (doneEnd >= line.size() || line[doneEnd] != '/')
            continue;
        size_t totalEnd = digitsFrom(line, doneEnd + 1);
        if (totalEnd >= line.size() || line[totalEnd] != ' ' || totalEnd + 1 > lastParen)
            continue;
        ADBProgressLine result;
        result.done = integerValue(line.substr(space + 1, doneEnd - space - 1));
        result.total = integerValue(line.substr(doneEnd + 1, totalEnd - doneEnd - 1));
        size_t percentEnd = digitsFrom(line, lastParen + 1);
        result.percent = integerValue(line.substr(lastParen + 1, percentEnd - lastParen - 1));
        return result;
    }
    return std::nullopt;
}

int applyADBProgressChunk(std::string_view chunk, ADBProgress& progress, const std::function<void()>& report)
{
    if (!isValidUTF8(chunk))
        return 0;
    int reports = 0;
    size_t start = 0;
    while (start <= chunk.size()) {
        size_t end = chunk.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = chunk.size();
        if (auto line = parseADBProgressLine(chunk.substr(start, end - start))) {
            if (line->done > 0 && line->total > 0) {
                progress.totalUnitCount = line->total;
                progress.completedUnitCount = line->done;
            }
            if (line->percent > 0) {
                ++reports;
                if (report)
                    report();
            }
        }
        start = end + 1;
    }
    return reports;
}

}  // namespace orv
