#include "tests/integration/privatebus.h"

#include "tests/support/busdaemon.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QThread>
#include <atomic>

#include <signal.h>

namespace quorvel::integration {

namespace {

constexpr char kHostName[] = "AutoCAD.Application";

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

PrivateBus::PrivateBus(Activation activation) {
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

    // The daemon gets no display: the client has to pass it on before activation.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        environment.remove(QLatin1String(variable));
    }
    address_ = testsupport::startBusDaemon(daemon_, configPath, folder_.path(), environment, 10000);
    if (address_.isEmpty()) {
        return;
    }
    connection_ = QDBusConnection::connectToBus(address_, connectionName_);
}

PrivateBus::~PrivateBus() {
    stopHosts();
    QDBusConnection::disconnectFromBus(connectionName_);
    daemon_.kill();
    daemon_.waitForFinished(5000);
}

void PrivateBus::stopHosts() {
    // Hosts started by activation are the daemon's children, not ours: end them by their id.
    for (int attempt = 0; attempt < 3; ++attempt) {
        const pid_t pid = hostPid();
        if (pid == 0) {
            break;
        }
        ::kill(pid, SIGKILL);
        QDeadlineTimer gone(3000);
        while (hostPid() == pid && !gone.hasExpired()) {
            QThread::msleep(20);
        }
    }
    for (auto& host : handStartedHosts_) {
        host->kill();
        host->waitForFinished(5000);
    }
}

bool PrivateBus::startHostByHand(const QString& release) {
    auto host = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address_);
    if (!environment.contains(QStringLiteral("QT_QPA_PLATFORM"))) {
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    }
    host->setProcessEnvironment(environment);
    host->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host->start(QStringLiteral(QUORVEL_TEST_CADHOST), {QStringLiteral("--release"), release});
    if (!host->waitForStarted(10000)) {
        return false;
    }
    const qint64 pid = host->processId();
    handStartedHosts_.push_back(std::move(host));
    QDeadlineTimer deadline(20000);
    while (!deadline.hasExpired()) {
        if (hostPid() == pid) {
            return true;
        }
        QThread::msleep(20);
    }
    return false;
}

pid_t PrivateBus::hostPid() const {
    if (!connection_.isConnected()) {
        return 0;
    }
    const QDBusReply<QString> owner =
        connection_.interface()->serviceOwner(QLatin1String(kHostName));
    if (!owner.isValid()) {
        return 0;
    }
    const QDBusReply<uint> pid = connection_.interface()->servicePid(owner.value());
    return pid.isValid() ? static_cast<pid_t>(pid.value()) : 0;
}

namespace ezdxf {

bool run(const QStringList& arguments, QByteArray* output) {
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QStringLiteral(QUORVEL_TEST_PYTHON),
                 QStringList{QStringLiteral(QUORVEL_TEST_DRAWINGS_SCRIPT)} + arguments);
    if (!python.waitForFinished(300000)) {
        python.kill();
        python.waitForFinished();
        return false;
    }
    if (output != nullptr) {
        *output = python.readAllStandardOutput();
    }
    return python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

bool write(const QString& kind, const QString& path) {
    return run({QStringLiteral("write"), kind, path});
}

std::vector<QJsonObject> entities(const QString& path) {
    QByteArray output;
    std::vector<QJsonObject> result;
    if (!run({QStringLiteral("dump"), path}, &output)) {
        return result;
    }
    for (const QByteArray& line : output.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            result.push_back(QJsonDocument::fromJson(line).object());
        }
    }
    return result;
}

QStringList texts(const QString& path) {
    QStringList result;
    for (const QJsonObject& entity : entities(path)) {
        if (entity.value(QStringLiteral("type")).toString() == u"TEXT") {
            result.push_back(entity.value(QStringLiteral("text")).toString());
        }
    }
    return result;
}

}  // namespace ezdxf

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace quorvel::integration
