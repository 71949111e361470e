#pragma once
// The CAD host on Linux: cad-host on the D-Bus session bus under the name of its ProgID
// ("AutoCAD.Application"). Attach = the name has an owner; create = D-Bus activation of the name,
// then wait for the owner. Objects are the object paths the host hands out. The bus protocol is
// described in docs/automation-bus.md.

#include <QString>
#include <memory>

#include "engine/automation.h"

namespace quorvel::platform::dbus {

// Error number of a host that cannot be reached or started.
inline constexpr std::int32_t kErrorCannotCreateObject = 429;

class BusConnection;

// The bus connection of a connector or window control, opened when first needed and opened
// again after the bus went away.
class LazyBusConnection {
public:
    explicit LazyBusConnection(QString address) : address_(std::move(address)) {}
    // Null when the bus cannot be reached.
    std::shared_ptr<const BusConnection> get();

private:
    QString address_;
    std::shared_ptr<const BusConnection> connection_;
};

class BusHostConnector final : public engine::HostConnector {
public:
    // The user's own session bus for an empty address; tests hand in a private one.
    explicit BusHostConnector(QString busAddress = {});

    std::shared_ptr<engine::Application> attachRunning(const std::u16string& progId) override;
    std::shared_ptr<engine::Application> create(const std::u16string& progId) override;

private:
    LazyBusConnection connection_;
};

// Window activation and keystrokes, carried out by the host itself. Keys go to the host whose
// window was activated last, as keystrokes go to the foreground window.
class BusWindowControl final : public engine::WindowControl {
public:
    explicit BusWindowControl(QString busAddress = {},
                              QString hostBusName = QStringLiteral("AutoCAD.Application"));

    void activateByTitle(const std::u16string& title) override;
    void sendKeys(const std::u16string& keys, bool wait) override;

private:
    LazyBusConnection connection_;
    QString hostBusName_;
    QString foregroundHost_;  // unique bus name of the last activated host
};

}  // namespace quorvel::platform::dbus
