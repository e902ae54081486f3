#include "app/toolkit/NSString+UUID.h"

#include <QUuid>

namespace orv {

QString stringWithNewUUID() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

}  // namespace orv
