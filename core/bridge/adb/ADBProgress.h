#pragma once
// Transfer progress as adb reports it on standard error, one line per step:
// "<anything> <done>/<total> <anything>(<percent>%". Each chunk read from the
// pipe is examined on its own, as it arrives: a line split across two reads
// is not recognised, and a chunk that is not UTF-8 is skipped.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

// The progress of one adb transfer, updated in place.
struct ADBProgress {
    int64_t totalUnitCount = 0;
    int64_t completedUnitCount = 0;
    // Both kinds of transfer are reported as downloads of a file.
    static constexpr const char* kind = "file";
    static constexpr const char* fileOperationKind = "downloading";
};

// One recognised progress line; empty counts read as 0.
struct ADBProgressLine {
    int64_t done = 0;
    int64_t total = 0;
    int64_t percent = 0;
};

// The progress line within one line of text (no line breaks), if any.
std::optional<ADBProgressLine> parseADBProgressLine(std::string_view line);

// Applies one chunk of standard error to `progress`: for every progress line
// in it, counts above 0 update the progress, and a percent above 0 then calls
// `report`. Returns the number of reports made.
int applyADBProgressChunk(std::string_view chunk, ADBProgress& progress, const std::function<void()>& report);

}  // namespace orv
