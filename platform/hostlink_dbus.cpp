#include <unistd.h>

#include <QtGlobal>

#include "platform/dbus/busautomation.h"
#include "platform/hostlink.h"

namespace quorvel::platform {

HostLink makeHostLink() {
    HostLink link;
    link.connector = std::make_unique<dbus::BusHostConnector>();
    link.windows = std::make_unique<dbus::BusWindowControl>();
    return link;
}

void chooseWindowSystem() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
}

bool runsAsSuperuser() {
    return ::geteuid() == 0;
}

}  // namespace quorvel::platform
