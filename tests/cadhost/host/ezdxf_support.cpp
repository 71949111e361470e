#include "ezdxf_support.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <stdexcept>

namespace quorvel::cadhost::test {
namespace {

QByteArray runScript(const QStringList& arguments) {
    QProcess python;
    python.start(QStringLiteral(CADHOST_TEST_PYTHON),
                 QStringList{QStringLiteral(CADHOST_TEST_EZDXF_SCRIPT)} + arguments);
    if (!python.waitForFinished(120000) || python.exitStatus() != QProcess::NormalExit ||
        python.exitCode() != 0) {
        throw std::runtime_error("ezdxf script failed: " + arguments.join(u' ').toStdString() +
                                 "\n" + python.readAllStandardError().toStdString());
    }
    return python.readAllStandardOutput();
}

}  // namespace

void writeDrawing(const QString& kind, const QString& path) {
    runScript({QStringLiteral("write"), kind, path});
}

std::vector<DumpedEntity> readBack(const QString& path) {
    std::vector<DumpedEntity> entities;
    for (const QByteArray& line : runScript({QStringLiteral("dump"), path}).split('\n')) {
        if (line.trimmed().isEmpty()) {
            continue;
        }
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        DumpedEntity entity;
        entity.type = object.value(u"type").toString();
        entity.handle = object.value(u"handle").toString();
        entity.layer = object.value(u"layer").toString();
        entity.text = object.value(u"text").toString();
        entity.height = object.value(u"height").toDouble();
        entity.halign = object.value(u"halign").toInt();
        entity.valign = object.value(u"valign").toInt();
        entities.push_back(entity);
    }
    return entities;
}

std::vector<DumpedEntity> textsOf(const std::vector<DumpedEntity>& entities) {
    std::vector<DumpedEntity> texts;
    for (const auto& entity : entities) {
        if (entity.type == u"TEXT") {
            texts.push_back(entity);
        }
    }
    return texts;
}

}  // namespace quorvel::cadhost::test
