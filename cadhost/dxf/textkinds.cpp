#include "cadhost/dxf/textkinds.h"

#include <algorithm>

#include "cadhost/dxf/codepage.h"
#include "cadhost/dxf/tags.h"

namespace quorvel::dxf {

namespace {

TextKind kindOf(const std::string& type) {
    if (type == "MTEXT")
        return TextKind::MText;
    if (type == "ATTRIB")
        return TextKind::Attribute;
    if (type == "ATTDEF")
        return TextKind::AttributeDefinition;
    if (type == "DIMENSION")
        return TextKind::Dimension;
    return TextKind::Text;
}

// Tags of the entity proper: an embedded object (group 101) and extended data come after them.
std::size_t ownTagsEnd(const RecordEditor& editor) {
    const auto& tags = editor.tags();
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].code == 101 || tags[i].code >= 1000)
            return i;
    }
    return tags.size();
}

// The value's bytes as readTexts() joins them.
std::string storedValue(const RecordEditor& editor, TextKind kind) {
    std::string value;
    std::string_view last;
    for (std::size_t i = 0; i < ownTagsEnd(editor); ++i) {
        const auto& tag = editor.tags()[i];
        if (tag.code == 3 && kind == TextKind::MText) {
            value += tag.value;
        } else if (tag.code == 1) {
            last = tag.value;
            if (kind != TextKind::MText)
                break;
        }
    }
    return value.append(last);
}

bool isDoubleByteCodePage(std::string_view codePage) {
    return codePage == "ANSI_932" || codePage == "ANSI_936" || codePage == "ANSI_949" ||
           codePage == "ANSI_950" || codePage == "ANSI_1361";
}

std::size_t utf8Length(unsigned char lead) {
    if (lead >= 0xF0)
        return 4;
    if (lead >= 0xE0)
        return 3;
    if (lead >= 0xC0)
        return 2;
    return 1;
}

}  // namespace

std::vector<TextEntry> readTexts(const Drawing& drawing,
                                 const std::function<bool(const TextEntry&)>& wanted) {
    std::vector<TextEntry> entries;
    for (Drawing::TextRecord& record : drawing.textRecords()) {
        TextEntry entry;
        entry.id = record.id;
        entry.kind = kindOf(record.type);
        entry.handle = std::move(record.handle);
        entry.layer = std::move(record.layer);
        entry.space = record.space;
        entry.block = std::move(record.block);
        if (wanted && !wanted(entry))
            continue;
        // The value: group 1, or for multi-line text the chunks (group 3) and then group 1,
        // all before an embedded object (group 101) or extended data.
        TagCursor cursor(drawing.recordBytes(record.id));
        RawTag tag;
        std::string chunks;
        std::string_view last;
        while (cursor.next(tag)) {
            if (tag.code == 101 || tag.code >= 1000)
                break;
            if (tag.code == 3 && entry.kind == TextKind::MText) {
                chunks += tag.value;
            } else if (tag.code == 1) {
                last = tag.value;
                if (entry.kind != TextKind::MText)
                    break;
            }
        }
        entry.raw = drawing.decodeText(chunks.empty() ? last : chunks.append(last));
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::map<std::string, std::string> layoutNames(const Drawing& drawing) {
    const auto upper = [](std::string_view text) {
        std::string out(trimmed(text));
        for (char& c : out)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return out;
    };
    std::map<std::string, std::string> blockOfRecord;          // block record handle -> block name
    std::vector<std::pair<std::string, std::string>> layouts;  // block record handle, name
    std::string type, handle, name, blockRecord;
    bool layoutSubclass = false;
    const auto finish = [&] {
        if (type == "BLOCK_RECORD" && !handle.empty())
            blockOfRecord[handle] = name;
        if (type == "LAYOUT" && !blockRecord.empty())
            layouts.emplace_back(blockRecord, name);
    };
    const std::string bytes = drawing.toBytes();
    TagCursor cursor(bytes);
    RawTag tag;
    while (cursor.next(tag)) {
        if (tag.code == 0) {
            finish();
            type = trimmed(tag.value);
            handle.clear();
            name.clear();
            blockRecord.clear();
            layoutSubclass = false;
        } else if (type == "BLOCK_RECORD") {
            if (tag.code == 5)
                handle = upper(tag.value);
            else if (tag.code == 2)
                name = trimmed(tag.value);
        } else if (type == "LAYOUT") {
            // The plot settings before the layout subclass have a group 1 of their own.
            if (tag.code == 100)
                layoutSubclass = trimmed(tag.value) == "AcDbLayout";
            else if (layoutSubclass && tag.code == 1)
                name = tag.value;
            else if (layoutSubclass && tag.code == 330)
                blockRecord = upper(tag.value);
        }
    }
    finish();
    std::map<std::string, std::string> names;
    for (const auto& [record, layout] : layouts) {
        const auto block = blockOfRecord.find(record);
        if (block != blockOfRecord.end())
            names[upper(drawing.decodeText(block->second))] = drawing.decodeText(layout);
    }
    return names;
}

std::vector<std::string> splitChunks(std::string_view encoded, std::string_view codePage,
                                     std::size_t limit) {
    const bool utf8 = codePage == "UTF-8";
    const bool doubleByte = isDoubleByteCodePage(codePage);
    std::vector<std::string> chunks(1);
    std::size_t pos = 0;
    while (pos < encoded.size()) {
        const auto byte = static_cast<unsigned char>(encoded[pos]);
        std::size_t length = 1;
        if (byte == '\\' && pos + 1 < encoded.size()) {
            const char next = encoded[pos + 1];
            if ((next == 'U' || next == 'u') && encoded.substr(pos + 2, 1) == "+")
                length = 7;
            else if ((next == 'M' || next == 'm') && encoded.substr(pos + 2, 1) == "+")
                length = 8;
            else
                length = 2 + (utf8 ? utf8Length(static_cast<unsigned char>(next)) - 1 : 0);
        } else if (byte == '^' && pos + 1 < encoded.size()) {
            length = 2;
        } else if (utf8) {
            length = utf8Length(byte);
        } else if (doubleByte && byte >= 0x81) {
            length = 2;
        }
        length = std::min(length, encoded.size() - pos);
        if (chunks.back().size() + length > limit)
            chunks.emplace_back();
        chunks.back().append(encoded.substr(pos, length));
        pos += length;
    }
    return chunks;
}

void writeText(Drawing& drawing, const TextEntry& entry, std::string_view raw) {
    if (entry.kind == TextKind::Text) {
        drawing.setText(entry.id, raw);
        return;
    }
    RecordEditor editor(drawing.recordBytes(entry.id));
    auto& tags = editor.tags();
    const std::string encoded = drawing.encodeReplacing(storedValue(editor, entry.kind), raw);
    if (entry.kind == TextKind::MText) {
        std::size_t first = RecordEditor::npos;
        for (std::size_t i = ownTagsEnd(editor); i-- > 0;) {
            if (tags[i].code == 1 || tags[i].code == 3) {
                first = i;
                editor.erase(i);
            }
        }
        if (first == RecordEditor::npos) {
            const std::size_t height = editor.find(40);
            first = height == RecordEditor::npos ? ownTagsEnd(editor) : height + 1;
        }
        const std::vector<std::string> chunks = splitChunks(encoded, drawing.codePage());
        for (std::size_t i = 0; i < chunks.size(); ++i)
            editor.insert(first + i, i + 1 == chunks.size() ? 1 : 3, chunks[i]);
    } else {
        drawing.requireValueFits(entry.id, encoded);
        const std::size_t at = editor.find(1);
        if (at != RecordEditor::npos && at < ownTagsEnd(editor)) {
            tags[at].value = encoded;
        } else {
            // A dimension without an override text, say: group 1 follows the definition point.
            std::size_t insertAt = editor.find(70);
            insertAt = insertAt == RecordEditor::npos ? ownTagsEnd(editor) : insertAt + 1;
            editor.insert(insertAt, 1, encoded);
        }
    }
    drawing.setRecordBytes(entry.id, editor.serialize());
}

void writeHeight(Drawing& drawing, const TextEntry& entry, double height) {
    if (entry.kind == TextKind::Text) {
        drawing.setHeight(entry.id, height);
        return;
    }
    if (entry.kind == TextKind::Dimension) {
        throw DxfError(DxfError::Kind::InvalidArgument, "标注文字的高度由标注样式决定");
    }
    if (!(height > 0) || height > 1e300) {
        throw DxfError(DxfError::Kind::InvalidArgument, "文字高度必须是大于零的数");
    }
    RecordEditor editor(drawing.recordBytes(entry.id));
    const std::size_t at = editor.find(40);
    if (at == RecordEditor::npos || at >= ownTagsEnd(editor)) {
        throw DxfError(DxfError::Kind::Format, "文字没有高度（组码 40）");
    }
    editor.tags()[at].value = formatNumber(height);
    drawing.setRecordBytes(entry.id, editor.serialize());
}

// ---------------------------------------------------------------------------------------------

MaskedText::MaskedText(std::string_view raw, bool dimension) : raw_(raw) {
    const auto visible = [&](std::size_t begin, std::size_t end, char32_t codePoint) {
        segments_.push_back({begin, end, false});
        const std::size_t segment = segments_.size() - 1;
        textcodec::appendUtf16(plain_, codePoint);
        unitSegment_.resize(plain_.size(), segment);  // both units of a pair: one segment
    };
    const auto code = [&](std::size_t begin, std::size_t end) {
        segments_.push_back({begin, end, true});
    };
    const auto untilSemicolon = [&](std::size_t from) {
        const std::size_t end = raw.find(';', from);
        return end == std::string_view::npos ? raw.size() : end + 1;
    };
    std::size_t pos = 0;
    while (pos < raw.size()) {
        const char c = raw[pos];
        if (c == '{' || c == '}') {
            code(pos, pos + 1);
            ++pos;
        } else if (dimension && raw.compare(pos, 2, "<>") == 0) {
            code(pos, pos + 2);
            pos += 2;
        } else if (c == '\\' && pos + 1 < raw.size()) {
            const char next = raw[pos + 1];
            switch (next) {
                case 'P':
                case 'X':
                    visible(pos, pos + 2, U'\n');
                    pos += 2;
                    break;
                case '~':
                    visible(pos, pos + 2, U' ');
                    pos += 2;
                    break;
                case '\\':
                case '{':
                case '}':
                    visible(pos, pos + 2, static_cast<char32_t>(next));
                    pos += 2;
                    break;
                case 'f':
                case 'F':
                case 'H':
                case 'W':
                case 'Q':
                case 'T':
                case 'A':
                case 'C':
                case 'c':
                case 'p':
                case 'S': {
                    const std::size_t end = untilSemicolon(pos + 2);
                    code(pos, end);
                    pos = end;
                    break;
                }
                default:
                    code(pos, pos + 2);  // \L \l \O \o \K \k \N and the like
                    pos += 2;
                    break;
            }
        } else {
            std::size_t next = pos;
            const char32_t codePoint = nextCodePoint(raw, next);
            visible(pos, next, codePoint);
            pos = next;
        }
    }
}

std::string MaskedText::escape(std::u16string_view plain) {
    std::string out;
    for (std::size_t pos = 0; pos < plain.size();) {
        const char32_t codePoint = textcodec::nextCodePoint(plain, pos);
        switch (codePoint) {
            case U'\\':
                out += "\\\\";
                break;
            case U'{':
                out += "\\{";
                break;
            case U'}':
                out += "\\}";
                break;
            case U'\n':
                out += "\\P";
                break;
            default:
                appendUtf8(out, codePoint);
        }
    }
    return out;
}

std::string MaskedText::apply(const std::vector<Edit>& edits) const {
    std::string out;
    std::size_t pos = 0;
    for (const Edit& edit : edits) {
        if (edit.begin >= edit.end || edit.end > plain_.size())
            continue;
        const std::size_t first = unitSegment_[edit.begin];
        const std::size_t last = unitSegment_[edit.end - 1];
        out.append(raw_, pos, segments_[first].begin - pos);
        out += escape(edit.text);
        for (std::size_t s = first; s <= last; ++s) {
            if (segments_[s].code)
                out.append(raw_, segments_[s].begin, segments_[s].end - segments_[s].begin);
        }
        pos = segments_[last].end;
    }
    out.append(raw_, pos, std::string::npos);
    return out;
}

}  // namespace quorvel::dxf
