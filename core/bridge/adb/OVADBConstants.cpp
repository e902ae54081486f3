#include "core/bridge/adb/OVADBConstants.h"

namespace orv {

const OVADBConstants& OVADBConstants::sharedInstance()
{
    static const OVADBConstants instance;  // made once, thread-safely, on first use
    return instance;
}

}  // namespace orv
