// Any bytes given to the drawing engine: refused with DxfError, or read so that an untouched
// drawing writes back the same bytes and an edited one writes a drawing that reads back.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "cadhost/dxf/drawing.h"

using quorvel::dxf::Drawing;
using quorvel::dxf::DxfError;
using quorvel::dxf::EntityId;

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

void edit(Drawing& drawing) {
    int budget = 6;
    for (const EntityId id : drawing.select({0}, {"TEXT,ATTRIB,ATTDEF"})) {
        if (budget-- == 0)
            break;
        const std::string old = drawing.text(id);
        const EntityId copy = drawing.copy(id);
        drawing.erase(id);
        check(drawing.lastObject() == copy);
        if (drawing.entityType(copy) == "TEXT")
            drawing.justify(copy, budget % 2 ? "mc" : "TR");
        drawing.setText(copy, old + " 新\\U+ \n");
        drawing.setHeight(copy, 2.5);
    }
    const auto all = drawing.select({}, {});
    if (!all.empty()) {
        drawing.copy(all.front());
        drawing.erase(all.back());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::string edited;
    try {
        Drawing drawing = Drawing::fromBytes(bytes);
        check(drawing.toBytes() == bytes);
        (void)drawing.entities(quorvel::dxf::Space::Model);
        (void)drawing.entities(quorvel::dxf::Space::Paper);
        (void)drawing.extents();
        (void)drawing.select({8, 62}, {"~[a-z]*,0", "#"});
        edit(drawing);
        edited = drawing.toBytes();
    } catch (const DxfError&) {
        return 0;
    }
    // What the engine wrote must read back, unchanged by a second round.
    const Drawing reread = Drawing::fromBytes(edited);
    check(reread.toBytes() == edited);
    return 0;
}
