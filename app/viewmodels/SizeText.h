#pragma once
// A byte count as short text in base 1024: "1 byte", "12 bytes", "3 KB",
// "1.5 MB", "2.25 GB", "1.125 TB".

#include <QString>
#include <cstdint>

namespace orv::size_text {

QString formatFromByteSize(uint64_t bytes);

}  // namespace orv::size_text
