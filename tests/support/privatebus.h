#pragma once
// A private session bus for one test or benchmark: a dbus-daemon with the build's own
// configuration, which starts the build's cad-host when its name is asked for. Hosts started on
// it, by hand or by activation, are ended with it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <vector>

#include <sys/types.h>

namespace quorvel::testsupport {

class PrivateBus {
public:
    // Which cad-host the bus starts when the name is asked for.
    enum class Activation { BuildHost, None, FailingHost };
    // What a host started by activation gets for a display: none (a client has to pass its own
    // on first), or the offscreen platform.
    enum class ActivatedDisplay { None, Offscreen };

    explicit PrivateBus(Activation activation = Activation::BuildHost,
                        ActivatedDisplay display = ActivatedDisplay::None);
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool started() const { return connection_.isConnected(); }
    const QString& address() const { return address_; }
    QDBusConnection connection() const { return connection_; }
    pid_t daemonPid() const { return static_cast<pid_t>(daemon_.processId()); }

    // StartServiceByName: 1 when a host was started, 2 when one was running already, 0 when the
    // bus refused.
    uint activateHost();
    // Starts cad-host by hand on this bus and waits until it owns its name. Without
    // QT_QPA_PLATFORM in the environment the host draws offscreen.
    bool startHostByHand(const QString& release = QStringLiteral("R2000"));
    // Starts cad-host by hand and waits for it to end; its exit code, -1 when it did not end.
    int runHostToEnd(const QStringList& arguments);
    // Process id of the name's owner, 0 when none.
    pid_t hostPid() const;
    bool hostRunning() const { return hostPid() != 0; }

    // One call to the host with no time limit worth the name; the reply or the error.
    QDBusMessage call(const QString& path, const QString& interface, const QString& member,
                      const QVariantList& arguments = {});
    QDBusMessage getProperty(const QString& path, const QString& interface, const QString& name);
    QDBusMessage setProperty(const QString& path, const QString& interface, const QString& name,
                             const QVariant& value);

private:
    QProcessEnvironment hostEnvironment() const;
    void rememberHost();
    void stopHosts();

    QTemporaryDir folder_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    QDBusConnection connection_{QString()};  // not connected until the daemon answers
    std::vector<std::unique_ptr<QProcess>> handStartedHosts_;
    std::vector<pid_t> seenHosts_;
};

// The value of a successful property Get, or an invalid QVariant.
QVariant valueOf(const QDBusMessage& reply);
// The first output argument of a successful call.
QVariant firstArgument(const QDBusMessage& reply);
QString pathOf(const QDBusMessage& reply);

}  // namespace quorvel::testsupport
