#include "cadhost/host/hosterror.h"

#include "automationlink/contract.h"

namespace quorvel::cadhost {

QString HostError::dbusName() const {
    const char* name = "";
    switch (kind_) {
        case HostErrorKind::NoActiveDocument:
            name = "NoActiveDocument";
            break;
        case HostErrorKind::ObjectErased:
            name = "ObjectErased";
            break;
        case HostErrorKind::ObjectClosed:
            name = "ObjectClosed";
            break;
        case HostErrorKind::OpenFailed:
            name = "OpenFailed";
            break;
        case HostErrorKind::SaveFailed:
            name = "SaveFailed";
            break;
        case HostErrorKind::InvalidArgument:
            name = "InvalidArgument";
            break;
        case HostErrorKind::DuplicateName:
            name = "DuplicateName";
            break;
        case HostErrorKind::NoSuchWindow:
            name = "NoSuchWindow";
            break;
        case HostErrorKind::InvalidKeys:
            name = "InvalidKeys";
            break;
        case HostErrorKind::CommandFailed:
            name = "CommandFailed";
            break;
    }
    return QLatin1String(automationlink::kErrorPrefix) + QLatin1String(name);
}

}  // namespace quorvel::cadhost
