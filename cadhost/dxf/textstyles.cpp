#include "cadhost/dxf/textstyles.h"

#include "cadhost/dxf/drawingimpl.h"
#include "cadhost/dxf/groupcodes.h"
#include "cadhost/dxf/tags.h"

namespace quorvel::dxf {

namespace {

constexpr int kStyleName = 7;
constexpr int kStyleFlags = 70;
constexpr int kBigFont = 4;
constexpr int kDimensionStyleName = 3;
constexpr int kTextStyleHandle = 340;  // DIMSTYLE: its text style (from R2000)
constexpr int kApplication = 1001;
constexpr int kExtendedString = 1000;

bool endsWithIgnoreCase(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           equalsIgnoreCase(text.substr(text.size() - suffix.size()), suffix);
}

TextStyle readStyle(const Drawing& drawing, std::string_view bytes) {
    TextStyle style;
    const auto decoded = [&](std::string_view value) { return drawing.decodeText(trimmed(value)); };
    bool inAcadData = false;
    TagCursor cursor(bytes);
    RawTag tag;
    while (cursor.next(tag)) {
        if (tag.code == kApplication) {
            inAcadData = trimmed(tag.value) == "ACAD";
        } else if (tag.code >= 1000) {
            if (inAcadData && tag.code == kExtendedString && style.trueTypeFace.empty())
                style.trueTypeFace = decoded(tag.value);
        } else if (tag.code == code::kName) {
            style.name = decoded(tag.value);
        } else if (tag.code == code::kHandle) {
            style.handle = std::string(trimmed(tag.value));
        } else if (tag.code == code::kEntryName) {
            style.fontFile = decoded(tag.value);
        } else if (tag.code == kBigFont) {
            style.bigFontFile = decoded(tag.value);
        } else if (tag.code == kStyleFlags) {
            style.shapeFile = (static_cast<int>(numberOr(tag.value, 0)) & 1) != 0;
        }
    }
    return style;
}

}  // namespace

bool TextStyle::isTrueType() const {
    return !trueTypeFace.empty() || endsWithIgnoreCase(fontFile, ".ttf") ||
           endsWithIgnoreCase(fontFile, ".ttc") || endsWithIgnoreCase(fontFile, ".otf");
}

TextStyles::TextStyles(const Drawing& drawing) {
    for (const std::string_view bytes : drawing.tableEntries("STYLE"))
        styles_.push_back(readStyle(drawing, bytes));
    for (const std::string_view bytes : drawing.tableEntries("DIMSTYLE")) {
        const EntityTags tags(bytes);
        const auto handle = tags.first(kTextStyleHandle);
        if (!handle)
            continue;
        for (const TextStyle& style : styles_) {
            if (equalsIgnoreCase(style.handle, trimmed(*handle))) {
                dimensionStyleText_.emplace_back(
                    drawing.decodeText(trimmed(tags.first(code::kName).value_or(""))), style.name);
            }
        }
    }
}

const TextStyle* TextStyles::find(const std::string& name) const {
    for (const TextStyle& style : styles_) {
        if (equalsIgnoreCase(style.name, name))
            return &style;
    }
    return nullptr;
}

std::string TextStyles::styleNameOf(const Drawing& drawing, EntityId id) const {
    // Group 7 (or for a dimension group 3) of the entity proper, not of an embedded object or
    // extended data.
    TagCursor cursor(drawing.recordBytes(id));
    RawTag tag;
    bool dimension = false;
    std::optional<std::string_view> name;
    while (cursor.next(tag) && tag.code != 101 && tag.code < 1000) {
        if (tag.code == code::kType)
            dimension = trimmed(tag.value) == "DIMENSION";
        else if (tag.code == (dimension ? kDimensionStyleName : kStyleName) && !name)
            name = trimmed(tag.value);
    }
    const std::string decoded = drawing.decodeText(name.value_or("Standard"));
    if (!dimension)
        return decoded;
    for (const auto& [dimensionStyle, textStyle] : dimensionStyleText_) {
        if (equalsIgnoreCase(dimensionStyle, decoded))
            return textStyle;
    }
    return "Standard";
}

}  // namespace quorvel::dxf
