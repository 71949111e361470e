#include "tests/integration/drawingfiles.h"

#include <QFile>
#include <QJsonDocument>
#include <QProcess>

namespace quorvel::integration {

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
