#include "privatebus.h"

#include "tests/support/busdaemon.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <csignal>
#include <stdexcept>

namespace quorvel::cadhost::test {
namespace {

constexpr int kCallTimeoutMs = 120000;
const QString kHostName = QStringLiteral("AutoCAD.Application");

}  // namespace

PrivateBus::PrivateBus() {
    static int counter = 0;
    connectionName_ = QStringLiteral("cadhost-test-bus-%1").arg(++counter);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Hosts started by activation inherit the daemon's environment: no display in tests.
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    address_ = testsupport::startBusDaemon(daemon_, QStringLiteral(CADHOST_SESSION_CONF),
                                           logFolder_.path(), environment);
    if (address_.isEmpty()) {
        throw std::runtime_error("dbus-daemon did not start or printed no address");
    }
    bus_ =
        std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, connectionName_));
    if (!bus_->isConnected()) {
        throw std::runtime_error("cannot connect to the private bus");
    }
}

PrivateBus::~PrivateBus() {
    rememberHostPid();
    for (const qint64 pid : hostPids_) {
        ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    for (auto& host : hosts_) {
        host->waitForFinished(5000);
    }
    bus_.reset();
    QDBusConnection::disconnectFromBus(connectionName_);
    daemon_.terminate();
    daemon_.waitForFinished(5000);
}

void PrivateBus::rememberHostPid() {
    const QDBusReply<uint> pid = bus_->interface()->servicePid(kHostName);
    if (pid.isValid() && pid.value() > 0 &&
        std::find(hostPids_.begin(), hostPids_.end(), pid.value()) == hostPids_.end()) {
        hostPids_.push_back(pid.value());
    }
}

uint PrivateBus::activateHost() {
    QDBusMessage start = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("StartServiceByName"));
    start << kHostName << 0u;
    const QDBusMessage reply = bus_->call(start, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        throw std::runtime_error("activation failed: " + reply.errorMessage().toStdString());
    }
    rememberHostPid();
    return reply.arguments().value(0).toUInt();
}

bool PrivateBus::hostRunning() {
    const QDBusReply<bool> owned = bus_->interface()->isServiceRegistered(kHostName);
    return owned.isValid() && owned.value();
}

void PrivateBus::startHost(const QStringList& arguments) {
    auto host = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host->setProcessEnvironment(environment);
    host->setStandardOutputFile(QProcess::nullDevice());
    host->setStandardErrorFile(logFolder_.filePath(QStringLiteral("host.log")), QIODevice::Append);
    host->start(QStringLiteral(CADHOST_EXECUTABLE), arguments);
    if (!host->waitForStarted(10000)) {
        throw std::runtime_error("cad-host did not start");
    }
    hostPids_.push_back(host->processId());
    hosts_.push_back(std::move(host));
    QDeadlineTimer deadline(30000);
    while (!hostRunning()) {
        if (deadline.hasExpired()) {
            throw std::runtime_error("cad-host never took its bus name");
        }
        QThread::msleep(50);
    }
}

int PrivateBus::runHostToEnd(const QStringList& arguments) {
    QProcess host;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    host.setProcessEnvironment(environment);
    host.setStandardOutputFile(QProcess::nullDevice());
    host.setStandardErrorFile(logFolder_.filePath(QStringLiteral("host.log")), QIODevice::Append);
    host.start(QStringLiteral(CADHOST_EXECUTABLE), arguments);
    if (!host.waitForFinished(30000)) {
        host.kill();
        host.waitForFinished(5000);
        return -1;
    }
    return host.exitCode();
}

QDBusMessage PrivateBus::call(const QString& path, const QString& interface, const QString& member,
                              const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kHostName, path, interface, member);
    message.setArguments(arguments);
    return bus_->call(message, QDBus::Block, kCallTimeoutMs);
}

QDBusMessage PrivateBus::getProperty(const QString& path, const QString& interface,
                                     const QString& name) {
    return call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                {interface, name});
}

QDBusMessage PrivateBus::setProperty(const QString& path, const QString& interface,
                                     const QString& name, const QVariant& value) {
    return call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Set"),
                {interface, name, QVariant::fromValue(QDBusVariant(value))});
}

QVariant valueOf(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments()[0].value<QDBusVariant>().variant();
}

QVariant firstArgument(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return {};
    }
    return reply.arguments()[0];
}

QString pathOf(const QDBusMessage& reply) {
    QVariant value = firstArgument(reply);
    if (value.metaType() == QMetaType::fromType<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value.value<QDBusObjectPath>().path();
}

}  // namespace quorvel::cadhost::test
