#include "core/bridge/companion/MediaRefresh.h"

#include "core/bridge/companion/OVADBForwardUpdateMediaOperation.h"
#include "core/bridge/adb/OVADBManager.h"

namespace orv {

namespace {

void queueUpdate(OVADBManager& manager, int64_t kind, std::vector<uint64_t> ids, std::vector<std::string> paths)
{
    if (ids.empty() && paths.empty())
        return;
    auto operation = OVADBForwardUpdateMediaOperation::initWithCallback([](std::optional<Error>) {});
    operation->setOperation(kind);
    operation->setMediaIds(std::move(ids));
    operation->setFilePaths(std::move(paths));
    operation->setSocketPort(manager.socketPort());
    manager.adbForwardOperationQueue().addOperation(operation);
}

}  // namespace

void queueMediaDeletion(OVADBManager& manager, std::vector<uint64_t> mediaIds)
{
    queueUpdate(manager, OVADBForwardUpdateMediaOperation::DeleteByID, std::move(mediaIds), {});
}

void queueMediaRescan(OVADBManager& manager, std::vector<std::string> relativePaths)
{
    queueUpdate(manager, OVADBForwardUpdateMediaOperation::RescanPaths, {}, std::move(relativePaths));
}

}  // namespace orv
