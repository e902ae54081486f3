#include "app/panes/OVDownloadViewController.h"

#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

OVViewModelRef OVDownloadViewController::makeRoot()
{
    const auto device = client();
    return OVViewModel::make(OVDeviceClient::downloadDir(),
                             device ? QString::fromStdString(device->serialNumber()) : QString());
}

}  // namespace orv
