#pragma once
// What a run does not search in a drawing, counted so that the summary and the report can say so:
// proxy entities (objects of add-on programs, drawn from a stored picture), OLE objects,
// external references (their texts live in the referenced drawing), texts whose value a field
// computes (the host writes the field's value over any edit), and texts in anonymous blocks
// (dynamic block copies "*U", tables' pictures "*T" and the like; a dimension's picture "*D"
// follows its dimension and is not counted).

#include <cstddef>
#include <string>
#include <vector>

namespace quorvel::dxf {
class Drawing;
}

namespace quorvel::batch {

struct ExternalReference {
    std::string block;  // UTF-8
    std::string path;   // the referenced drawing, as stored
};

struct Unreached {
    std::size_t proxies = 0;
    std::size_t oleObjects = 0;
    std::size_t fieldTexts = 0;
    std::size_t anonymousBlockTexts = 0;
    std::vector<ExternalReference> externalReferences;

    bool empty() const;
    // One line for people, e.g. "代理对象 2 个，外部参照 1 个（底图：D:\底图.dwg）".
    std::string description() const;
};

Unreached findUnreached(const dxf::Drawing& drawing);

}  // namespace quorvel::batch
