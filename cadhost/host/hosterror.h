#pragma once
// The one error type of cad-host's own operations. Each kind has a D-Bus error name under
// org.quorvel.CadHost.Error, so the bus answers with a name a client can tell apart.

#include <QString>

#include <stdexcept>

namespace quorvel::cadhost {

enum class HostErrorKind {
    NoActiveDocument,
    ObjectErased,
    ObjectClosed,
    OpenFailed,
    SaveFailed,
    InvalidArgument,
    DuplicateName,
    NoSuchWindow,
    InvalidKeys,
    CommandFailed,
};

class HostError : public std::runtime_error {
public:
    HostError(HostErrorKind kind, const QString& message)
        : std::runtime_error(message.toStdString()), kind_(kind), message_(message) {}

    HostErrorKind kind() const noexcept { return kind_; }
    const QString& message() const noexcept { return message_; }
    // "org.quorvel.CadHost.Error.<Kind>"
    QString dbusName() const;

private:
    HostErrorKind kind_;
    QString message_;
};

}  // namespace quorvel::cadhost
