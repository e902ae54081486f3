#pragma once
// Runs one pull or push with adb's standard output on a pseudo-terminal, the
// only place where adb reports progress, and turns its percentages into lines
// on standard error in the shape the bridge parses:
//     "Transferring: DONE/TOTAL (PERCENT%)"
// with byte counts from the file's size (the local file for a push, the phone
// file for a pull, read once before the transfer). adb's other output, the
// summary and "adb: error: ..." lines, stays on standard output. A pull makes
// the folders its file goes into, and one that does not complete leaves no
// partial file behind.

#include <cstdint>
#include <string>

#include "core/adbtool/AdbInvocation.h"
#include "core/adbtool/Supervisor.h"

namespace orv::adbtool {

std::string progressLine(uint64_t total, int percent);

// Returns adb's wait status (or a stand-in status when it could not run).
int runTransfer(const std::string& adb, const AdbInvocation& invocation, const Plan& plan,
                Supervisor& supervisor);

}  // namespace orv::adbtool
