#include "tests/support/privatebus.h"

#include "tests/support/busdaemon.h"

#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <atomic>

#include <signal.h>

namespace quorvel::testsupport {
namespace {

const QString kHostName = QStringLiteral("AutoCAD.Application");
constexpr int kCallTimeoutMs = 120000;

// The bus configuration of the build, pointed at another folder of activation files.
QString configWithServiceFolder(const QString& serviceFolder) {
    QFile file(QStringLiteral(QUORVEL_TEST_SESSION_CONF));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    QString config = QString::fromUtf8(file.readAll());
    config.replace(QRegularExpression(QStringLiteral("<servicedir>[^<]*</servicedir>")),
                   QStringLiteral("<servicedir>%1</servicedir>").arg(serviceFolder));
    return config;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

}  // namespace

PrivateBus::PrivateBus(Activation activation, ActivatedDisplay display) {
    static std::atomic<int> counter{0};
    connectionName_ = QStringLiteral("quorvel-test-bus-%1").arg(++counter);

    QString configPath = QStringLiteral(QUORVEL_TEST_SESSION_CONF);
    if (activation != Activation::BuildHost) {
        const QString services = folder_.filePath(QStringLiteral("services"));
        QDir().mkpath(services);
        if (activation == Activation::FailingHost) {
            writeFile(services + QStringLiteral("/AutoCAD.Application.service"),
                      "[D-BUS Service]\nName=AutoCAD.Application\nExec=/bin/false\n");
        }
        configPath = folder_.filePath(QStringLiteral("session.conf"));
        writeFile(configPath, configWithServiceFolder(services).toUtf8());
    }

    // Hosts started by activation inherit the daemon's environment.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(variable));
    }
    if (display == ActivatedDisplay::Offscreen) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    address_ = startBusDaemon(daemon_, configPath, folder_.path(), environment);
    if (!address_.isEmpty()) {
        connection_ = QDBusConnection::connectToBus(address_, connectionName_);
    }
}

PrivateBus::~PrivateBus() {
    stopHosts();
    QDBusConnection::disconnectFromBus(connectionName_);
    daemon_.kill();
    daemon_.waitForFinished(5000);
}

void PrivateBus::rememberHost() {
    const pid_t pid = hostPid();
    if (pid != 0 && std::find(seenHosts_.begin(), seenHosts_.end(), pid) == seenHosts_.end()) {
        seenHosts_.push_back(pid);
    }
}

void PrivateBus::stopHosts() {
    // Hosts started by activation are the daemon's children, not ours: end them by their id.
    rememberHost();
    for (const pid_t pid : seenHosts_) {
        ::kill(pid, SIGKILL);
    }
    QDeadlineTimer gone(3000);
    while (hostRunning() && !gone.hasExpired()) {
        QThread::msleep(20);
    }
    for (auto& host : handStartedHosts_) {
        host->kill();
        host->waitForFinished(5000);
    }
}

uint PrivateBus::activateHost() {
    QDBusMessage start = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("StartServiceByName"));
    start << kHostName << 0u;
    const QDBusMessage reply = connection_.call(start, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        return 0;
    }
    rememberHost();
    return reply.arguments().value(0).toUInt();
}

QProcessEnvironment PrivateBus::hostEnvironment() const {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    return environment;
}

bool PrivateBus::startHostByHand(const QString& release) {
    auto host = std::make_unique<QProcess>();
    host->setProcessEnvironment(hostEnvironment());
    host->setStandardOutputFile(QProcess::nullDevice());
    host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host->start(QStringLiteral(QUORVEL_TEST_CADHOST), {QStringLiteral("--release"), release});
    if (!host->waitForStarted(10000)) {
        return false;
    }
    const qint64 pid = host->processId();
    handStartedHosts_.push_back(std::move(host));
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (hostPid() == pid) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

int PrivateBus::runHostToEnd(const QStringList& arguments) {
    QProcess host;
    host.setProcessEnvironment(hostEnvironment());
    host.setStandardOutputFile(QProcess::nullDevice());
    host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host.start(QStringLiteral(QUORVEL_TEST_CADHOST), arguments);
    if (!host.waitForFinished(30000)) {
        host.kill();
        host.waitForFinished(5000);
        return -1;
    }
    return host.exitCode();
}

pid_t PrivateBus::hostPid() const {
    if (!connection_.isConnected()) {
        return 0;
    }
    const QDBusReply<QString> owner = connection_.interface()->serviceOwner(kHostName);
    if (!owner.isValid()) {
        return 0;
    }
    const QDBusReply<uint> pid = connection_.interface()->servicePid(owner.value());
    return pid.isValid() ? static_cast<pid_t>(pid.value()) : 0;
}

QDBusMessage PrivateBus::call(const QString& path, const QString& interface, const QString& member,
                              const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kHostName, path, interface, member);
    message.setArguments(arguments);
    return connection_.call(message, QDBus::Block, kCallTimeoutMs);
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

}  // namespace quorvel::testsupport
