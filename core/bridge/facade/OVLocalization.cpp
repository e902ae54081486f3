#include "core/bridge/facade/OVLocalization.h"

#include <memory>
#include <mutex>

namespace orv {

namespace {
std::mutex providerMutex;
std::shared_ptr<const LocalizedStringProvider> currentProvider;
}  // namespace

void setLocalizedStringProvider(LocalizedStringProvider provider)
{
    std::lock_guard lock(providerMutex);
    currentProvider = provider ? std::make_shared<const LocalizedStringProvider>(std::move(provider)) : nullptr;
}

std::string localizedString(const std::string& key, const std::string& fallback)
{
    std::shared_ptr<const LocalizedStringProvider> provider;
    {
        std::lock_guard lock(providerMutex);
        provider = currentProvider;
    }
    if (provider) {
        if (auto text = (*provider)(key))
            return *text;
    }
    return fallback;
}

}  // namespace orv
