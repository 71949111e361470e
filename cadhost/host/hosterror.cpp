#include "cadhost/host/hosterror.h"

#include "automationlink/contract.h"

namespace quorvel::cadhost {

QString errorMessage(const core::HostError& error) {
    return QString::fromUtf8(error.what());
}

QString dbusErrorName(const core::HostError& error) {
    return QLatin1String(automationlink::kErrorPrefix) + QLatin1String(error.kindName());
}

}  // namespace quorvel::cadhost
