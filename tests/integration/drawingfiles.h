#pragma once
// Drawings for the integration tests, written and read back by ezdxf, an independent DXF
// implementation.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

namespace quorvel::integration {

// Drawings written and read back by ezdxf, an independent DXF implementation.
namespace ezdxf {

// Runs tests/integration/drawings.py with the arguments; false when it fails.
bool run(const QStringList& arguments, QByteArray* output = nullptr);
// kind: r12 (GBK), r2000 (GBK), r2018 (UTF-8).
bool write(const QString& kind, const QString& path);
// The model-space entities, one JSON object each (type, layer, text, height, halign, valign).
std::vector<QJsonObject> entities(const QString& path);
// Texts of the TEXT entities, in drawing order.
QStringList texts(const QString& path);

}  // namespace ezdxf

QByteArray fileBytes(const QString& path);

}  // namespace quorvel::integration
