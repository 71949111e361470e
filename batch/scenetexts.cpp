#include "batch/scenetexts.h"

#include "dxf/tags.h"
#include "dxf/textlayout.h"
#include "dxf/visibletext.h"
#include "textcodec/utf.h"

namespace quorvel::batch {

std::string firstValue(std::string_view bytes, int code) {
    dxf::TagCursor cursor(bytes);
    dxf::RawTag tag;
    bool first = true;
    while (cursor.next(tag)) {
        if (!first && tag.code == code)
            return std::string(dxf::trimmed(tag.value));
        first = false;
    }
    return {};
}

// The engine gives entity views of block references alone, so an attribute's placement is read
// from its own tags; a multi-line attribute is drawn from the multi-line text embedded in it
// (after group 101).
std::optional<dxf::EntityInfo> attributeOf(const dxf::Drawing& drawing, dxf::EntityId id) {
    dxf::TagCursor cursor(drawing.recordBytes(id));
    dxf::RawTag tag;
    dxf::EntityInfo info;
    info.id = id;
    info.type = "ATTRIB";
    info.layer = "0";
    dxf::TextGeometry text;
    dxf::MTextGeometry lines;
    std::string embedded;  // file bytes
    bool inEmbedded = false;
    int flags = 0;
    const auto number = [&] { return dxf::parseNumber(dxf::trimmed(tag.value)).value_or(0); };
    const auto alignment = [&]() -> dxf::Point& {
        if (!text.alignment)
            text.alignment.emplace();
        return *text.alignment;
    };
    for (bool first = true; cursor.next(tag); first = false) {
        if (first)
            continue;
        if (tag.code == 101)
            inEmbedded = true;
        const int code = tag.code;
        if (inEmbedded) {
            if (code == 1 || code == 3)
                embedded += tag.value;
            else if (code == 10 || code == 20)
                (code == 10 ? lines.insertion.x : lines.insertion.y) = number();
            else if (code == 40)
                lines.height = number();
            else if (code == 71)
                lines.attachment = static_cast<int>(number());
            continue;
        }
        if (code == 1)
            text.text = drawing.decodeText(tag.value);
        else if (code == 8)
            info.layer = drawing.decodeText(dxf::trimmed(tag.value));
        else if (code == 10 || code == 20)
            (code == 10 ? text.insertion.x : text.insertion.y) = number();
        else if (code == 11 || code == 21)
            (code == 11 ? alignment().x : alignment().y) = number();
        else if (code == 40)
            text.height = number();
        else if (code == 41)
            text.widthFactor = number();
        else if (code == 50)
            text.rotation = number();
        else if (code == 51)
            text.oblique = number();
        else if (code == 62)
            info.color = static_cast<int>(number());
        else if (code == 70)
            flags = static_cast<int>(number());
        else if (code == 72)
            text.horizontal = static_cast<int>(number());
        else if (code == 74)
            text.vertical = static_cast<int>(number());
    }
    if (flags & 1)
        return std::nullopt;  // invisible
    if (embedded.empty()) {
        info.geometry = std::move(text);
    } else {
        lines.plainText =
            dxf::VisibleText(drawing.decodeText(embedded), dxf::TextSyntax::MultiLine).shown();
        lines.rotation = text.rotation;
        if (!(lines.height > 0))
            lines.height = text.height;
        info.geometry = std::move(lines);
    }
    return info;
}

std::vector<std::string> wrappedLines(const std::string& text, double width) {
    std::vector<std::string> lines(1);
    std::size_t afterSpace = std::string::npos;  // in lines.back()
    double used = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t begin = at;
        const char32_t code = textcodec::nextCodePoint(text, at);
        const std::string character = text.substr(begin, at - begin);
        if (code == '\n') {
            lines.emplace_back();
            used = 0;
            afterSpace = std::string::npos;
            continue;
        }
        const double advance = dxf::textWidthInHeights(character);
        if (width > 0 && used + advance > width && code != ' ' && !lines.back().empty()) {
            std::string moved;
            if (afterSpace != std::string::npos) {
                moved = lines.back().substr(afterSpace);
                lines.back().resize(afterSpace);
            }
            lines.push_back(std::move(moved));
            used = dxf::textWidthInHeights(lines.back());
            afterSpace = std::string::npos;
        }
        lines.back() += character;
        used += advance;
        if (code == ' ')
            afterSpace = lines.back().size();
    }
    for (std::string& line : lines)
        line.erase(line.find_last_not_of(' ') + 1);  // spaces at the end show nothing
    return lines;
}

}  // namespace quorvel::batch
