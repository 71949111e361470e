// Any bytes given to the drawing engine: refused with DxfError, or read so that an untouched
// drawing writes back the same bytes and an edited one writes a drawing that reads back.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "dxf/drawing.h"

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

// A folder of this process for saves, on a memory file system where there is one.
const std::filesystem::path& saveFolder() {
    static const std::filesystem::path folder = [] {
        std::filesystem::path base = "/dev/shm";
        if (!std::filesystem::is_directory(base))
            base = std::filesystem::temp_directory_path();
        auto path = base / ("dxf-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
        // The file a save writes holds the same bytes.
        const auto file = saveFolder() / "drawing.dxf";
        drawing.save(file);
        check(readFile(file) == edited);
    } catch (const DxfError&) {
        return 0;
    }
    // What the engine wrote must read back, unchanged by a second round.
    const Drawing reread = Drawing::fromBytes(edited);
    check(reread.toBytes() == edited);
    return 0;
}
