#include "core/bridge/OVADBManager.h"

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
    // Rebuilding the forward and the keep-alive connection belongs to the
    // companion start-up, which builds on this manager; until it lands there
    // is no link to rebuild.
}

}  // namespace orv
