#pragma once
// Released device managers wind their work down on a pool thread. A test
// keeps its simulated phone and folders until that work has ended, so no
// adb child of one test runs into the next, or into a phone already gone.

#include <gtest/gtest.h>

#include <chrono>

#include "core/bridge/adb/OVADBManager.h"

namespace orv::test {

inline void settleReleasedWork()
{
    EXPECT_TRUE(OVADBManager::waitForReleasedWork(std::chrono::minutes(2)));
}

// Declared after the phone and before its clients: settles when they are gone.
struct SettleReleasedWorkAtScopeEnd {
    SettleReleasedWorkAtScopeEnd() = default;
    SettleReleasedWorkAtScopeEnd(const SettleReleasedWorkAtScopeEnd&) = delete;
    SettleReleasedWorkAtScopeEnd& operator=(const SettleReleasedWorkAtScopeEnd&) = delete;
    ~SettleReleasedWorkAtScopeEnd() { settleReleasedWork(); }
};

}  // namespace orv::test
