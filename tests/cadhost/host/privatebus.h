#pragma once
// A private session bus for one test: a dbus-daemon with the build's own configuration, which
// can start the build's cad-host by activation. Hosts started on it are ended with it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QVariant>

#include <memory>
#include <vector>

namespace quorvel::cadhost::test {

class PrivateBus {
public:
    PrivateBus();
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& address() const { return address_; }
    QDBusConnection& bus() { return *bus_; }

    // StartServiceByName: 1 when a host was started, 2 when one was running already.
    uint activateHost();
    // Starts cad-host by hand with these arguments; returns once it owns the name.
    void startHost(const QStringList& arguments);
    // Starts cad-host by hand and waits for it to end; returns its exit code.
    int runHostToEnd(const QStringList& arguments);
    bool hostRunning();

    // One call to the host with no time limit worth the name; the reply or the error.
    QDBusMessage call(const QString& path, const QString& interface, const QString& member,
                      const QVariantList& arguments = {});
    QDBusMessage getProperty(const QString& path, const QString& interface, const QString& name);
    QDBusMessage setProperty(const QString& path, const QString& interface, const QString& name,
                             const QVariant& value);

private:
    void rememberHostPid();

    QTemporaryDir logFolder_;
    QProcess daemon_;
    QString address_;
    QString connectionName_;
    std::unique_ptr<QDBusConnection> bus_;
    std::vector<qint64> hostPids_;
    std::vector<std::unique_ptr<QProcess>> hosts_;
};

// The value of a successful property Get, or an invalid QVariant.
QVariant valueOf(const QDBusMessage& reply);
// The first output argument of a successful call.
QVariant firstArgument(const QDBusMessage& reply);
QString pathOf(const QDBusMessage& reply);

}  // namespace quorvel::cadhost::test
