#pragma once
// Test drawings come from ezdxf and results are read back with it, so the host is never
// checked only against its own reader.

#include <QString>

#include <vector>

namespace quorvel::cadhost::test {

// kind: "sample" (R2000, GBK), "r12", "r2018", "lastline" (sample ending with a LINE).
// Model space: LINE, CIRCLE, MTEXT (not R12), then three TEXT entities:
// "图号 旧文本-01" on layer "标注", "Hello World" on "TEXT", "旧文本" on "0" (the last object).
// "layers": a red square (0,0)-(100,100), a green circle on a layer that is off, and a block
// based at (10,10) holding a circle around its base point, inserted at (50,50) on a blue layer.
void writeDrawing(const QString& kind, const QString& path);

struct DumpedEntity {
    QString type;
    QString handle;
    QString layer;
    QString text;
    double height = 0;
    int halign = 0;
    int valign = 0;
};

// Model space as ezdxf reads it.
std::vector<DumpedEntity> readBack(const QString& path);

std::vector<DumpedEntity> textsOf(const std::vector<DumpedEntity>& entities);

}  // namespace quorvel::cadhost::test
