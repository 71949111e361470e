#include "platform/hostlink.h"
#include "platform/windows/comautomation.h"
#include "platform/windows/windowservices.h"

namespace quorvel::platform {

HostLink makeHostLink() {
    HostLink link;
    link.session = std::make_shared<windows::ComApartment>();
    link.connector = std::make_unique<windows::ComHostConnector>(windows::hostProgIdSetting());
    link.windows = std::make_unique<windows::Win32WindowControl>();
    return link;
}

void chooseWindowSystem() {}

bool runsAsSuperuser() {
    return false;  // the web view's sandbox question does not arise on Windows
}

}  // namespace quorvel::platform
