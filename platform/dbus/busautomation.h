#pragma once
// The CAD host on Linux: cad-host on the D-Bus session bus under the name of its ProgID
// ("AutoCAD.Application"). Attach = the name has an owner; create = D-Bus activation of the name,
// then wait for the owner. Objects are the object paths the host hands out. The bus protocol is
// described in docs/automation-bus.md.

#include <QDBusConnection>
#include <QString>
#include <memory>

#include "engine/automation.h"

namespace quorvel::platform::dbus {

// Error number of a host that cannot be reached or started.
inline constexpr std::int32_t kErrorCannotCreateObject = 429;

class BusHostConnector final : public engine::HostConnector {
public:
    // The user's own session bus by default; tests hand in a private one.
    explicit BusHostConnector(QDBusConnection connection = QDBusConnection::sessionBus());

    std::shared_ptr<engine::Application> attachRunning(const std::u16string& progId) override;
    std::shared_ptr<engine::Application> create(const std::u16string& progId) override;

private:
    QDBusConnection connection_;
};

// Window activation and keystrokes, carried out by the host itself. Keys go to the host whose
// window was activated last, as keystrokes go to the foreground window.
class BusWindowControl final : public engine::WindowControl {
public:
    explicit BusWindowControl(QDBusConnection connection = QDBusConnection::sessionBus(),
                              QString hostBusName = QStringLiteral("AutoCAD.Application"));

    void activateByTitle(const std::u16string& title) override;
    void sendKeys(const std::u16string& keys, bool wait) override;

private:
    QDBusConnection connection_;
    QString hostBusName_;
    QString foregroundHost_;  // unique bus name of the last activated host
};

}  // namespace quorvel::platform::dbus
