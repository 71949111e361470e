#include "tests/support/busdaemon.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

namespace quorvel::testsupport {

QString startBusDaemon(QProcess& daemon, const QString& configPath, const QString& logFolder,
                       const QProcessEnvironment& environment, int timeoutMs) {
    daemon.setProcessEnvironment(environment);
    const QString addressFile = QDir(logFolder).filePath(QStringLiteral("address"));
    daemon.setStandardOutputFile(addressFile);
    daemon.setStandardErrorFile(QDir(logFolder).filePath(QStringLiteral("daemon.log")));
    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--config-file=") + configPath, QStringLiteral("--nofork"),
                  QStringLiteral("--print-address=1")});
    if (!daemon.waitForStarted(10000)) {
        return {};
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QFile file(addressFile);
        if (file.open(QIODevice::ReadOnly)) {
            const QByteArray content = file.readAll();
            if (content.contains('\n')) {
                return QString::fromUtf8(content.left(content.indexOf('\n'))).trimmed();
            }
        }
        QThread::msleep(20);
    }
    return {};
}

}  // namespace quorvel::testsupport
