#pragma once
// The CAD host on Windows: its automation objects through COM late binding. Attach = the class
// of the ProgID in the running-object table; create = a new instance of its local server.

#include "engine/automation.h"

namespace quorvel::platform::windows {

// Error number of a host that cannot be reached or started.
inline constexpr std::int32_t kErrorCannotCreateObject = 429;

// COM for the calling (user-interface) thread, for the life of the object: make one in main().
class ComApartment {
public:
    ComApartment();
    ~ComApartment();
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

private:
    bool initialized_;
};

class ComHostConnector final : public engine::HostConnector {
public:
    std::shared_ptr<engine::Application> attachRunning(const std::u16string& progId) override;
    std::shared_ptr<engine::Application> create(const std::u16string& progId) override;
};

}  // namespace quorvel::platform::windows
