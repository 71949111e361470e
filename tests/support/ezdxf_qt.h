#pragma once
// The ezdxf reference for tests that hold their paths and texts as Qt strings.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <vector>

#include "tests/support/ezdxf_reference.h"

namespace quorvel::testsupport::ezdxfqt {

struct Entity {
    QString space, type, handle, layer, text;
    double height = 0;
    int halign = 0, valign = 0;
};

inline std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(path.toStdU16String());
}

inline std::vector<Entity> converted(const std::vector<DrawingEntity>& entities) {
    std::vector<Entity> out;
    for (const DrawingEntity& e : entities) {
        out.push_back({QString::fromStdString(e.space), QString::fromStdString(e.type),
                       QString::fromStdString(e.handle), QString::fromStdString(e.layer),
                       QString::fromStdString(e.text), e.height, e.halign, e.valign});
    }
    return out;
}

// Throws when ezdxf fails.
inline void write(const QString& kind, const QString& path) {
    writeDrawing(kind.toStdString(), fsPath(path));
}

inline bool run(const QStringList& arguments) {
    std::vector<std::string> plain;
    for (const QString& argument : arguments)
        plain.push_back(argument.toStdString());
    return runEzdxf(plain);
}

inline std::vector<Entity> entities(const QString& path) {
    return converted(drawingEntities(fsPath(path)));
}

inline std::vector<Entity> modelSpaceTexts(const QString& path) {
    return converted(quorvel::testsupport::modelSpaceTexts(fsPath(path)));
}

inline QStringList texts(const QString& path) {
    QStringList out;
    for (const std::string& text : textStrings(fsPath(path)))
        out.push_back(QString::fromStdString(text));
    return out;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace quorvel::testsupport::ezdxfqt
