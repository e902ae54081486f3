#pragma once
// Reads what adb writes to a terminal during a pull or push: the progress
// updates it keeps redrawing ("\r[ 45%] PATH\x1b[K") become percentages (an
// update without one, "[   ?] PATH: 1234/?", is dropped), and
// every other text (the summary, "adb: error: ..." lines) becomes plain lines
// without carriage returns or terminal control sequences. Input may arrive in
// any pieces; a percentage is reported as soon as its "[NNN%]" is complete.

#include <functional>
#include <string>
#include <string_view>

namespace orv::adbtool {

class TerminalOutputFilter {
public:
    using LineHandler = std::function<void(std::string_view line)>;  // without "\n"
    using PercentHandler = std::function<void(int percent)>;

    TerminalOutputFilter(LineHandler onLine, PercentHandler onPercent);

    void feed(std::string_view bytes);
    // End of output: a last unterminated text is handed on as a line.
    void finish();

private:
    enum class Escape { None, Started, ControlSequence };

    void take(char c);
    void endSegment();
    void checkForPercent();

    LineHandler onLine_;
    PercentHandler onPercent_;
    std::string segment_;
    bool segmentIsProgress_ = false;
    bool carriageReturnPending_ = false;
    Escape escape_ = Escape::None;
};

}  // namespace orv::adbtool
