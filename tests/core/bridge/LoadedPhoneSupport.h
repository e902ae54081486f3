#pragma once
// Loads the simulated phone through a manager, companion service included,
// for tests whose work goes over the companion link (media refresh).

#include <gtest/gtest.h>

#include "PhoneTestSupport.h"
#include "core/bridge/model/OVDevice.h"

namespace orv::test {

// True once the phone is loaded and its keep-alive connection is up.
inline bool loadWithCompanion(OVADBManager& manager, const std::string& serial)
{
    auto device = std::make_shared<OVDevice>();
    auto done = std::make_shared<bool>(false);
    auto error = std::make_shared<std::optional<Error>>();
    manager.fetchADBInfoWithSerialNumber(serial, device, [done, error](std::optional<Error> e) {
        *error = e;
        *done = true;
    });
    if (!waitFor([&] { return *done; })) {
        ADD_FAILURE() << "the load did not finish";
        return false;
    }
    EXPECT_FALSE(*error) << (*error)->description();
    if (*error)
        return false;
    if (!waitFor([&] { return manager.keepAliveOperationQueue().operationCount() == 1; })) {
        ADD_FAILURE() << "no keep-alive connection after the load";
        return false;
    }
    return true;
}

// Waits until the phone's log holds `count` entries of the kind; returns them.
inline nlohmann::json waitForLog(phonesim::Simulator& sim, const std::string& serial, const std::string& kind,
                                 size_t count)
{
    nlohmann::json entries;
    waitFor(
        [&] {
            entries = sim.log(serial, kind);
            return entries.size() >= count;
        },
        std::chrono::seconds(10));
    return entries;
}

}  // namespace orv::test
