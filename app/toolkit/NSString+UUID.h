#pragma once
// Fresh handles for downloads and cancellations.

#include <QString>

namespace orv {

// A new random UUID, upper case, 8-4-4-4-12.
QString stringWithNewUUID();

}  // namespace orv
