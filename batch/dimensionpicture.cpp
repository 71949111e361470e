#include "batch/dimensionpicture.h"

#include <cctype>

#include "dxf/tags.h"

namespace quorvel::batch {

using dxf::TextSyntax;
using dxf::VisibleText;

namespace {

std::string blockKey(std::string_view name) {
    std::string key(dxf::trimmed(name));
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

// Writers spell the diameter sign in several ways.
char16_t comparable(char16_t unit) {
    return unit == u'\u2205' || unit == u'\u00D8' ? u'\u2300' : unit;
}

const char* const kPictureDiffers = "标注图形中的文字与替代文字对不上，未修改此标注";

}  // namespace

void DimensionPictures::index() {
    indexed_ = true;
    for (const dxf::Drawing::TextRecord& record : drawing_.textRecords()) {
        if (record.type == "DIMENSION") {
            dxf::TagCursor cursor(drawing_.recordBytes(record.id));
            dxf::RawTag tag;
            while (cursor.next(tag) && tag.code < 1000) {
                if (tag.code == 2) {
                    const std::string key = blockKey(drawing_.decodeText(tag.value));
                    blockOf_[record.id] = key;
                    ++users_[key];
                    break;
                }
            }
        } else if ((record.type == "TEXT" || record.type == "MTEXT") &&
                   record.space == dxf::Space::Block && record.block.starts_with('*')) {
            dxf::TextEntry text;
            text.id = record.id;
            text.kind = record.type == "TEXT" ? dxf::TextKind::Text : dxf::TextKind::MText;
            text.handle = record.handle;
            text.space = record.space;
            text.block = record.block;
            texts_[blockKey(record.block)].push_back(std::move(text));
        }
    }
}

DimensionPictures::Picture DimensionPictures::of(const dxf::TextEntry& dimension) {
    if (!indexed_)
        index();
    const auto block = blockOf_.find(dimension.id);
    if (block == blockOf_.end())
        return {};
    const auto texts = texts_.find(block->second);
    if (texts == texts_.end() || texts->second.empty())
        return {};
    if (users_[block->second] > 1)
        return {std::nullopt, "标注图形被多个标注共用，未修改此标注"};
    if (texts->second.size() > 1)
        return {std::nullopt, "标注图形中有多段文字，未修改此标注"};
    dxf::TextEntry text = texts->second.front();
    dxf::readValue(drawing_, text);
    return {std::move(text), ""};
}

std::optional<std::u16string> measurementIn(const VisibleText& override,
                                            const VisibleText& picture) {
    const std::u16string& o = override.plain();
    const std::u16string& p = picture.plain();
    std::size_t placeholders = 0;
    for (std::size_t i = 0; i < o.size(); ++i)
        placeholders += override.isMeasurement(i) ? 1 : 0;
    const std::size_t fixed = o.size() - placeholders;
    if (p.size() < fixed || (placeholders > 0 && (p.size() - fixed) % placeholders != 0) ||
        (placeholders == 0 && p.size() != fixed)) {
        return std::nullopt;
    }
    const std::size_t length = placeholders == 0 ? 0 : (p.size() - fixed) / placeholders;
    std::optional<std::u16string> measured;
    std::size_t j = 0;
    for (std::size_t i = 0; i < o.size(); ++i) {
        if (override.isMeasurement(i)) {
            const std::u16string value = p.substr(j, length);
            for (std::size_t k = j; k < j + length; ++k) {
                if (picture.isStack(k) || picture.isMeasurement(k))
                    return std::nullopt;
            }
            if (measured && *measured != value)
                return std::nullopt;
            measured = value;
            j += length;
            continue;
        }
        const bool same = override.isStack(i)
                              ? picture.isStack(j)
                              : !picture.isStack(j) && comparable(o[i]) == comparable(p[j]);
        if (!same)
            return std::nullopt;
        ++j;
    }
    return measured.value_or(u"");
}

namespace {

// The override's edits moved onto the picture, whose measured value is `length` units long.
std::vector<VisibleText::Edit> onPicture(const VisibleText& override,
                                         const std::vector<VisibleText::Edit>& edits,
                                         std::size_t length) {
    std::vector<VisibleText::Edit> moved;
    std::size_t unit = 0;
    std::size_t placeholders = 0;
    for (const VisibleText::Edit& edit : edits) {
        for (; unit < edit.begin; ++unit)
            placeholders += override.isMeasurement(unit) ? 1 : 0;
        const std::size_t shift = placeholders * length;
        moved.push_back(
            {edit.begin + shift - placeholders, edit.end + shift - placeholders, edit.text});
    }
    return moved;
}

}  // namespace

std::optional<Substitution> substituteDimension(const dxf::TextEntry& dimension,
                                                const DimensionPictures::Picture& picture,
                                                const Options& options) {
    std::optional<Substitution> change = substitute(dimension, options);
    if (!change || (!picture.text && picture.unsafe.empty()))
        return change;
    const auto refuse = [&](const std::string& reason) {
        change->refused = reason;
        change->newText = change->oldText;
        change->newRaw = dimension.raw;
        return change;
    };
    if (!picture.unsafe.empty())
        return refuse(picture.unsafe);

    const TextSyntax syntax =
        picture.text->kind == dxf::TextKind::MText ? TextSyntax::MultiLine : TextSyntax::SingleLine;
    const std::string& pictureRaw = picture.text->raw;
    const auto measured = measurementIn(VisibleText(dimension.raw, TextSyntax::Dimension),
                                        VisibleText(pictureRaw, syntax));
    if (!measured)
        return refuse(kPictureDiffers);
    std::optional<std::string> newPicture;
    if (options.raw) {
        if (const auto rewritten = rewrite(pictureRaw, syntax, options))
            newPicture = rewritten->raw;
    } else {
        std::string current = pictureRaw;
        const auto follow = [&](const VisibleText& before,
                                const std::vector<VisibleText::Edit>& edits) {
            try {
                current =
                    VisibleText(current, syntax).apply(onPicture(before, edits, measured->size()));
                return true;
            } catch (const dxf::DxfError&) {
                return false;
            }
        };
        bool refused = false;
        const auto newOverride =
            rewrite(dimension.raw, TextSyntax::Dimension, options, follow, &refused);
        if (refused || !newOverride || newOverride->raw != change->newRaw)
            return refuse(kPictureDiffers);
        newPicture = current;
    }
    if (!newPicture || measurementIn(VisibleText(change->newRaw, TextSyntax::Dimension),
                                     VisibleText(*newPicture, syntax)) != measured) {
        return refuse(kPictureDiffers);
    }
    change->newPictureRaw = *newPicture;
    return change;
}

}  // namespace quorvel::batch
