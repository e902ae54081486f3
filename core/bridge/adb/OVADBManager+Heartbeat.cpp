#include "core/bridge/adb/OVADBManager.h"

namespace orv {

void OVADBManager::checkKeepAliveHeartBeat(bool fromWake)
{
    // A phone that was never fully loaded has no companion link to rebuild.
    if (socketPort() == 0)
        return;
    if (fromWake) {
        keepAliveOperationQueue().cancelAllOperations();
    } else if (startingService() || keepAliveOperationQueue().operationCount() > 0) {
        return;  // a rebuild is running, or the keep-alive connection is alive
    }
    rebuildCompanionLink();
}

}  // namespace orv
