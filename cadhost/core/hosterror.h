#pragma once
// The one error type of the hosts' own operations. The message is for the user (UTF-8); the
// kind lets an adapter answer with a name or code a client can tell apart.

#include <stdexcept>
#include <string>

namespace quorvel::cadhost::core {

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
    HostError(HostErrorKind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}

    HostErrorKind kind() const noexcept { return kind_; }
    // "NoActiveDocument", "ObjectErased", ...: the kind as the last part of an error name.
    const char* kindName() const noexcept;

private:
    HostErrorKind kind_;
};

}  // namespace quorvel::cadhost::core
