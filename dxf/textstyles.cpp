#include "dxf/textstyles.h"

#include "dxf/drawingimpl.h"
#include "dxf/groupcodes.h"
#include "dxf/tags.h"

namespace quorvel::dxf {

namespace {

constexpr int kStyleName = 7;
constexpr int kStyleFlags = 70;
constexpr int kBigFont = 4;
constexpr int kDimensionStyleName = 3;
constexpr int kTextStyleHandle = 340;  // DIMSTYLE: its text style (from R2000)
constexpr int kApplication = 1001;
constexpr int kExtendedString = 1000;
constexpr int kExtendedControl = 1002;  // "{" and "}"
constexpr int kExtendedHandle = 1005;
constexpr int kExtendedInteger = 1070;

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

// A dimension's own overrides of its style: extended data of ACAD, "DSTYLE", then between
// braces pairs of a 1070 (the variable's group code) and its value.
struct DimensionOverrides {
    std::optional<std::string_view> textStyleHandle;  // DIMTXSTY, group 340

    void read(const RawTag& tag) {
        if (tag.code == kApplication) {
            inAcad_ = trimmed(tag.value) == "ACAD";
            inList_ = false;
        } else if (inAcad_ && tag.code == kExtendedString) {
            inList_ = trimmed(tag.value) == "DSTYLE";
        } else if (inList_ && tag.code == kExtendedControl) {
            expectCode_ = true;
        } else if (inList_ && expectCode_) {
            variable_ = tag.code == kExtendedInteger ? static_cast<int>(numberOr(tag.value, 0)) : 0;
            expectCode_ = false;
        } else if (inList_) {
            if (variable_ == kTextStyleHandle && tag.code == kExtendedHandle)
                textStyleHandle = trimmed(tag.value);
            expectCode_ = true;
        }
    }

private:
    bool inAcad_ = false;
    bool inList_ = false;
    bool expectCode_ = true;
    int variable_ = 0;
};

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
    TagCursor cursor(drawing.recordBytes(id));
    RawTag tag;
    bool dimension = false;
    bool multileader = false;
    bool ownTags = true;  // not yet in an embedded object or extended data
    std::optional<std::string_view> name;
    std::optional<std::string_view> styleHandle;  // a multileader's text style, group 343
    DimensionOverrides overrides;
    while (cursor.next(tag)) {
        ownTags = ownTags && tag.code != 101 && tag.code < 1000;
        if (!ownTags) {
            if (!dimension)
                break;
            overrides.read(tag);
        } else if (tag.code == code::kType) {
            dimension = trimmed(tag.value) == "DIMENSION";
            multileader = trimmed(tag.value) == "MULTILEADER";
        } else if (multileader && tag.code == 343 && !styleHandle) {
            styleHandle = trimmed(tag.value);
        } else if (tag.code == (dimension ? kDimensionStyleName : kStyleName) && !name) {
            name = trimmed(tag.value);
        }
    }
    const std::string decoded = drawing.decodeText(name.value_or("Standard"));
    if (!dimension && !multileader)
        return decoded;
    if (multileader)
        overrides.textStyleHandle = styleHandle;
    if (overrides.textStyleHandle) {
        for (const TextStyle& style : styles_) {
            if (equalsIgnoreCase(style.handle, *overrides.textStyleHandle))
                return style.name;
        }
    }
    if (multileader)
        return "Standard";
    for (const auto& [dimensionStyle, textStyle] : dimensionStyleText_) {
        if (equalsIgnoreCase(dimensionStyle, decoded))
            return textStyle;
    }
    return "Standard";
}

}  // namespace quorvel::dxf
