#pragma once
// Stand-ins for a build without a way to reach the CAD host: every attempt fails with a
// description for the user.

#include "engine/automation.h"

namespace quorvel::platform {

class UnavailableHostConnector final : public engine::HostConnector {
public:
    std::shared_ptr<engine::Application> attachRunning(const std::u16string& progId) override;
    std::shared_ptr<engine::Application> create(const std::u16string& progId) override;
};

class UnavailableWindowControl final : public engine::WindowControl {
public:
    void activateByTitle(const std::u16string& title) override;
    void sendKeys(const std::u16string& keys, bool wait) override;
};

}  // namespace quorvel::platform
