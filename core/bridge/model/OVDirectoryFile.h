#pragma once
// A folder of the phone: always a directory, and of size 0.

#include "core/bridge/model/OVFile.h"

namespace orv {

class OVDirectoryFile : public OVFile {
public:
    const char* className() const override { return "OVDirectoryFile"; }
    uint64_t type() const override { return TypeDirectory; }
    bool isDirectory() const override { return true; }
    uint64_t size() const override { return 0; }
};

}  // namespace orv
