#include "dxf/textkinds.h"

#include <algorithm>

#include "dxf/codepage.h"
#include "dxf/tabletext.h"
#include "dxf/tags.h"

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
    if (type == "ACAD_TABLE")
        return TextKind::TableCell;
    if (type == "MULTILEADER")
        return TextKind::MLeader;
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

void readValue(const Drawing& drawing, TextEntry& entry) {
    if (entry.kind == TextKind::MLeader) {
        entry.raw = multileaderText(drawing, entry.id).value_or("");
        return;
    }
    if (entry.kind == TextKind::TableCell) {
        entry.raw.clear();
        for (const TableCellText& cell : tableCellTexts(drawing, entry.id)) {
            if (cell.cell == entry.cell)
                entry.raw = cell.raw;
        }
        return;
    }
    // The value: group 1, or for multi-line text the chunks (group 3) and then group 1, all
    // before an embedded object (group 101) or extended data. An attribute's embedded object
    // holds the text of a multi-line attribute the same way.
    const bool attribute =
        entry.kind == TextKind::Attribute || entry.kind == TextKind::AttributeDefinition;
    TagCursor cursor(drawing.recordBytes(entry.id));
    RawTag tag;
    std::string chunks;
    std::string_view last;
    std::string_view own;
    bool embedded = false;
    bool embeddedText = false;
    while (cursor.next(tag)) {
        if (tag.code >= 1000 || (tag.code == 101 && (embedded || !attribute)))
            break;
        if (tag.code == 101) {
            embedded = true;
            own = last;
            last = {};
        } else if (tag.code == 3 && (entry.kind == TextKind::MText || embedded)) {
            chunks += tag.value;
            embeddedText = embedded;
        } else if (tag.code == 1) {
            last = tag.value;
            embeddedText = embedded;
            if (entry.kind != TextKind::MText && !embedded && !attribute)
                break;
        }
    }
    entry.multiLineAttribute = embeddedText && !(chunks.empty() && last.empty());
    if (attribute && !entry.multiLineAttribute) {
        entry.raw = drawing.decodeText(embedded ? own : last);
        return;
    }
    if (entry.multiLineAttribute)
        entry.attributeLine = drawing.decodeText(own);
    entry.raw = drawing.decodeText(chunks.empty() ? last : chunks.append(last));
}

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
        if (entry.kind == TextKind::TableCell) {
            for (TableCellText& cell : tableCellTexts(drawing, entry.id)) {
                TextEntry cellEntry = entry;
                cellEntry.cell = cell.cell;
                cellEntry.raw = std::move(cell.raw);
                entries.push_back(std::move(cellEntry));
            }
            continue;
        }
        if (entry.kind == TextKind::MLeader) {
            auto text = multileaderText(drawing, entry.id);
            if (!text)
                continue;  // it shows a block
            entry.raw = std::move(*text);
            entries.push_back(std::move(entry));
            continue;
        }
        readValue(drawing, entry);
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

namespace {

// Puts `encoded` in place of the chunks (3) and group 1 among tags [from, to), in chunks.
void writeChunks(RecordEditor& editor, std::size_t from, std::size_t to, std::string_view encoded,
                 std::string_view codePage) {
    auto& tags = editor.tags();
    std::size_t first = RecordEditor::npos;
    for (std::size_t i = to; i-- > from;) {
        if (tags[i].code == 1 || tags[i].code == 3) {
            first = i;
            editor.erase(i);
        }
    }
    if (first == RecordEditor::npos) {
        const std::size_t height = editor.find(40, from);
        first = height == RecordEditor::npos || height >= to ? to : height + 1;
    }
    const std::vector<std::string> chunks = splitChunks(encoded, codePage);
    for (std::size_t i = 0; i < chunks.size(); ++i)
        editor.insert(first + i, i + 1 == chunks.size() ? 1 : 3, chunks[i]);
}

// The tags of an attribute's embedded object: after its group 101, before extended data.
std::pair<std::size_t, std::size_t> embeddedTags(const RecordEditor& editor) {
    const auto& tags = editor.tags();
    const std::size_t begin = ownTagsEnd(editor);
    std::size_t end = begin;
    if (begin < tags.size() && tags[begin].code == 101) {
        for (end = begin + 1; end < tags.size() && tags[end].code < 1000; ++end) {
        }
    }
    return {begin, end};
}

}  // namespace

void writeText(Drawing& drawing, const TextEntry& entry, std::string_view raw,
               std::string_view attributeLine) {
    if (entry.kind == TextKind::Text) {
        drawing.setText(entry.id, raw);
        return;
    }
    if (entry.kind == TextKind::TableCell) {
        writeTableCells(drawing, entry.id, {{entry.cell, std::string(raw)}});
        return;
    }
    if (entry.kind == TextKind::MLeader) {
        writeMultileaderText(drawing, entry.id, raw);
        return;
    }
    RecordEditor editor(drawing.recordBytes(entry.id));
    auto& tags = editor.tags();
    const std::string stored = storedValue(editor, entry.kind);
    if (entry.kind == TextKind::MText) {
        writeChunks(editor, 0, ownTagsEnd(editor), drawing.encodeReplacing(stored, raw),
                    drawing.codePage());
        drawing.setRecordBytes(entry.id, editor.serialize());
        return;
    }
    if (entry.multiLineAttribute) {
        const auto [begin, end] = embeddedTags(editor);
        writeChunks(editor, begin + 1, end, drawing.encodeText(raw), drawing.codePage());
        raw = attributeLine;
    }
    const std::string encoded = drawing.encodeReplacing(stored, raw);
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
    if (entry.kind == TextKind::TableCell || entry.kind == TextKind::MLeader) {
        throw DxfError(DxfError::Kind::InvalidArgument, "表格和多重引线的文字高度由其样式决定");
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
    if (entry.multiLineAttribute) {
        // The embedded object keeps the character height too.
        const auto [begin, end] = embeddedTags(editor);
        const std::size_t embedded = editor.find(40, begin);
        if (embedded < end)
            editor.tags()[embedded].value = formatNumber(height);
    }
    drawing.setRecordBytes(entry.id, editor.serialize());
}

}  // namespace quorvel::dxf
