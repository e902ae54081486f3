#include "app/media/OVMediaReloadThrottle.h"

namespace orv {

OVMediaReloadThrottle::Answer OVMediaReloadThrottle::request(double now)
{
    if (trailing_)
        return {Decision::AlreadyDeferred, 0};
    if (!started_ || now - lastStart_ >= kInterval) {
        started_ = true;
        lastStart_ = now;
        return {Decision::FetchNow, 0};
    }
    trailing_ = true;
    return {Decision::Deferred, lastStart_ + kInterval - now};
}

void OVMediaReloadThrottle::trailingFired(double now)
{
    trailing_ = false;
    started_ = true;
    lastStart_ = now;
}

void OVMediaReloadThrottle::reset()
{
    started_ = false;
    trailing_ = false;
    lastStart_ = 0;
}

}  // namespace orv
