#include "app/shell/ConnectionErrorTexts.h"

#include "core/bridge/facade/OVLocalization.h"

namespace orv {

namespace {

QString text(const char* key, const char* english) { return QString::fromStdString(localizedString(key, english)); }

QString connectError() { return text("connect device error", "Could not connect to the phone"); }
QString someErrors() { return text("Some Errors", "Something went wrong"); }

}  // namespace

ConnectionErrorTexts ConnectionErrorTexts::forCode(long code)
{
    using A = Action;
    switch (code) {
    case 3:
        return {text("Confirm device auth", "Confirm the phone's authorisation"), text("Auth your device", "Allow USB debugging on your phone"),
                text("error unauthorized usb debug",
                     "Unlock the phone and accept the \"Allow USB debugging?\" prompt (tick \"Always allow from this computer\"), then click the button below."),
                text("Confirm Auth", "I have allowed it"), A::Retry, false};
    case 5:
        return {connectError(), text("Unknow source apk can not be installed", "The companion app may not be installed"),
                text("Allow unknow source apk installation",
                     "Allow apps from unknown sources in the phone's security settings, then plug the phone in again."),
                {}, A::None, false};
    case 6:
        return {connectError(), someErrors(), text("Unable to install the Forward Service App", "The companion app could not be installed on the phone."),
                {}, A::None, false};
    case 7:
        return {connectError(), someErrors(), text("Unable to launch the Forward Service", "The companion service could not be started on the phone."),
                {}, A::None, false};
    case 8:
        return {connectError(), text("Orvane is outdated", "Orvane is out of date"),
                text("Please update your Orvane", "The phone's companion service needs a newer Orvane. Please update Orvane."),
                text("Check For Update", "Check For Update"), A::CheckForUpdate, false};
    case 9:
        return {connectError(), text("ROM is outdated", "The phone's software is out of date"),
                text("Please update your ROM", "Please update the phone's system software."), {}, A::None, false};
    default:
        return {connectError(), text("Re-plugin your device", "Plug your phone in again"),
                text("connect device error reason",
                     "The connection to the phone failed. Unplug it, plug it in again and check that USB debugging is on."),
                {}, A::None, true};
    }
}

}  // namespace orv
