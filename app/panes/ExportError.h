#pragma once
// The error of an export that failed on the computer's side (a folder that
// cannot be made, a copy that cannot be moved into place), naming the path.

#include <QString>

#include "platform/Error.h"

namespace orv {

inline Error exportError(const QString& message, const QString& path)
{
    Error error;
    error.domain = "OrvaneExport";
    error.code = 1;
    error.message = message.toStdString();
    error.info["path"] = path.toStdString();
    return error;
}

}  // namespace orv
