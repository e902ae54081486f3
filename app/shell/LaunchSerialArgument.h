#pragma once
// The "-s serial:locationId:address" argument the agent starts the
// application with. Only the first "-s" counts, and only when the value after
// it has exactly three ':'-separated parts; the numbers read like a leading
// decimal integer (a part that does not start with one reads as 0) and the
// address keeps its low 16 bits.

#include <QStringList>
#include <cstdint>
#include <optional>
#include <string>

namespace orv {

struct LaunchSerialArgument {
    std::string serialNumber;
    int64_t locationId = 0;
    uint16_t addressId = 0;

    // nullopt for every other shape of the arguments.
    static std::optional<LaunchSerialArgument> parse(const QStringList& arguments);
};

}  // namespace orv
