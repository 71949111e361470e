#pragma once
// The CAD host on Windows: its automation objects through COM late binding. Attach = the class
// of the ProgID in the running-object table; create = a new instance of its local server.

#include "engine/automation.h"

namespace quorvel::platform::windows {

// Error number of a host that cannot be reached or started.
inline constexpr std::int32_t kErrorCannotCreateObject = 429;

// COM for the calling (user-interface) thread, for the life of the object: make one in main().
// It registers the message filter that rides out a busy host (see busyHostLimit()).
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

// The ProgID the user chose for the host, empty when none: compatible hosts register their own.
// The environment variable QUORVEL_PROGID, else the value ProgID under HKCU\Software\Quorvel.
std::u16string hostProgIdSetting();

class ComHostConnector final : public engine::HostConnector {
public:
    // A non-empty progId is used in place of the one the engine asks for.
    explicit ComHostConnector(std::u16string progId = {});

    std::shared_ptr<engine::Application> attachRunning(const std::u16string& progId) override;
    std::shared_ptr<engine::Application> create(const std::u16string& progId) override;

private:
    const std::u16string& chosen(const std::u16string& progId) const;

    std::u16string progId_;
};

}  // namespace quorvel::platform::windows
