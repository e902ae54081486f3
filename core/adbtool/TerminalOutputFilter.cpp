#include "core/adbtool/TerminalOutputFilter.h"

#include <utility>

namespace orv::adbtool {

namespace {

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

}  // namespace

TerminalOutputFilter::TerminalOutputFilter(LineHandler onLine, PercentHandler onPercent)
    : onLine_(std::move(onLine)), onPercent_(std::move(onPercent))
{
}

void TerminalOutputFilter::feed(std::string_view bytes)
{
    for (char c : bytes)
        take(c);
}

void TerminalOutputFilter::finish()
{
    carriageReturnPending_ = false;
    endSegment();
    escape_ = Escape::None;
}

void TerminalOutputFilter::take(char c)
{
    // A line break never belongs to an escape sequence: one cut short by
    // it must not swallow the line that follows ("adb: error: ...").
    if (c == '\n' || c == '\r')
        escape_ = Escape::None;
    switch (escape_) {
    case Escape::Started:
        // ESC [ opens a control sequence; any other ESC pair is a two-byte code.
        escape_ = c == '[' ? Escape::ControlSequence : Escape::None;
        return;
    case Escape::ControlSequence:
        if (c >= 0x40 && c <= 0x7e)
            escape_ = Escape::None;
        return;
    case Escape::None:
        break;
    }
    if (c == '\x1b') {
        escape_ = Escape::Started;
        return;
    }
    if (carriageReturnPending_) {
        carriageReturnPending_ = false;
        // "\r\n" ends a line (a terminal that translates newlines writes it);
        // a lone "\r" starts redrawing the line, ending what was there.
        endSegment();
        if (c == '\n')
            return;
    }
    if (c == '\r') {
        carriageReturnPending_ = true;
        return;
    }
    if (c == '\n') {
        if (segment_.empty() && !segmentIsProgress_)
            onLine_({});
        else
            endSegment();
        return;
    }
    segment_.push_back(c);
    if (!segmentIsProgress_)
        checkForPercent();
}

void TerminalOutputFilter::endSegment()
{
    if (!segmentIsProgress_ && !segment_.empty())
        onLine_(segment_);
    segment_.clear();
    segmentIsProgress_ = false;
}

// A progress update begins with "[", then, padded with blanks, a percentage
// of at most three digits and "%", or "?" while adb cannot tell one, and "]".
void TerminalOutputFilter::checkForPercent()
{
    // An update's "[NNN%]" comes first, after a few blanks at most: looking
    // further would rescan a long line at each of its "]".
    constexpr size_t kLongestProgressPrefix = 32;
    if (segment_.size() > kLongestProgressPrefix || segment_.back() != ']')
        return;
    size_t i = 0;
    while (i < segment_.size() && isBlank(segment_[i]))
        ++i;
    if (i >= segment_.size() || segment_[i] != '[')
        return;
    ++i;
    while (i < segment_.size() && isBlank(segment_[i]))
        ++i;
    if (i + 2 == segment_.size() && segment_[i] == '?') {
        segmentIsProgress_ = true;
        return;
    }
    int percent = 0;
    size_t digits = 0;
    while (i < segment_.size() && isDigit(segment_[i]) && digits < 4) {
        percent = percent * 10 + (segment_[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || digits > 3 || percent > 100)
        return;
    if (i + 2 != segment_.size() || segment_[i] != '%')
        return;
    segmentIsProgress_ = true;
    onPercent_(percent);
}

}  // namespace orv::adbtool
