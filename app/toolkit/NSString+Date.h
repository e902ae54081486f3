#pragma once
// A date (and time) written into a file name, as cameras and screenshot tools
// write them: "IMG_20150304_102030.jpg" or "Shot 2015-03-04 at 10:20:30 PM.png".

#include <QDateTime>
#include <QString>

namespace orv {

// The moment the name tells, read as UTC; invalid when the name tells no
// complete date and time.
QDateTime findDate(const QString& name);

}  // namespace orv
