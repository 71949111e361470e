#include "cadhost/core/hosterror.h"

namespace quorvel::cadhost::core {

const char* HostError::kindName() const noexcept {
    switch (kind_) {
        case HostErrorKind::NoActiveDocument:
            return "NoActiveDocument";
        case HostErrorKind::ObjectErased:
            return "ObjectErased";
        case HostErrorKind::ObjectClosed:
            return "ObjectClosed";
        case HostErrorKind::OpenFailed:
            return "OpenFailed";
        case HostErrorKind::SaveFailed:
            return "SaveFailed";
        case HostErrorKind::InvalidArgument:
            return "InvalidArgument";
        case HostErrorKind::DuplicateName:
            return "DuplicateName";
        case HostErrorKind::NoSuchWindow:
            return "NoSuchWindow";
        case HostErrorKind::InvalidKeys:
            return "InvalidKeys";
        case HostErrorKind::CommandFailed:
            return "CommandFailed";
    }
    return "";
}

}  // namespace quorvel::cadhost::core
