#pragma once
// cad-host's face of the host core's error type: QString messages, and for each kind a D-Bus
// error name under org.quorvel.CadHost.Error, so the bus answers with a name a client can tell
// apart. Catch core::HostError: the core raises it, the host's own code this subclass.

#include "cadhost/core/hosterror.h"

#include <QString>

namespace quorvel::cadhost {

using core::HostErrorKind;

class HostError : public core::HostError {
public:
    HostError(HostErrorKind kind, const QString& message)
        : core::HostError(kind, message.toStdString()) {}
};

QString errorMessage(const core::HostError& error);
// "org.quorvel.CadHost.Error.<Kind>"
QString dbusErrorName(const core::HostError& error);

}  // namespace quorvel::cadhost
