#include "dxf/tabletext.h"

#include <algorithm>
#include <map>
#include <set>

#include "dxf/groupcodes.h"
#include "dxf/tags.h"
#include "dxf/textkinds.h"

namespace quorvel::dxf {

namespace {

// A count or a type: a whole number that fits, else -1 (a damaged value is no number).
long long wholeNumber(std::string_view value) {
    const std::optional<double> number = parseNumber(value);
    if (!number || !(*number >= -1 && *number <= 1e9))
        return -1;
    return static_cast<long long>(*number);
}

bool isMarker(const RecordEditor::Tag& tag, int code, std::string_view value) {
    return tag.code == code && trimmed(tag.value) == value;
}

// One stored copy of a text: its chunks, then the tag that ends it (indexes into the tags).
struct TextCopy {
    std::vector<std::size_t> tags;
    int chunkCode = 2;
    int finalCode = 1;
    bool legacy = false;  // documented as chunked at 250 bytes
};

// A copy ending at `last`, with the chunks gathered before it.
TextCopy copyOf(const RecordEditor& editor, std::vector<std::size_t>& chunks, std::size_t last,
                int defaultChunkCode, bool legacy) {
    TextCopy copy;
    copy.chunkCode = chunks.empty() ? defaultChunkCode : editor.tags()[chunks.front()].code;
    copy.finalCode = editor.tags()[last].code;
    copy.legacy = legacy;
    copy.tags = std::move(chunks);
    copy.tags.push_back(last);
    chunks.clear();
    return copy;
}

std::string storedBytes(const RecordEditor& editor, const TextCopy& copy) {
    std::string bytes;
    for (const std::size_t index : copy.tags)
        bytes += editor.tags()[index].value;
    return bytes;
}

struct ValueBlock {
    int dataType = -1;
    std::vector<TextCopy> copies;  // the string, then the display string
    std::size_t end = 0;           // index of "304 ACVALUE_END"
    bool terminated = false;
};

// A value from the tag after its opening marker: data type (90), the string (1, chunks in 2
// or 3 before it), the display string (302, chunks in 303), up to "304 ACVALUE_END" (or the end
// of the cell content holding it).
ValueBlock readValueBlock(const RecordEditor& editor, std::size_t from, std::size_t to) {
    const auto& tags = editor.tags();
    ValueBlock block;
    std::vector<std::size_t> chunks, displayChunks;
    for (std::size_t i = from; i < to; ++i) {
        const int code = tags[i].code;
        if (isMarker(tags[i], 304, "ACVALUE_END")) {
            block.end = i;
            block.terminated = true;
            return block;
        }
        // Before R2007 a cell content's value has no end marker of its own.
        if (isMarker(tags[i], 309, "CELLCONTENT_END")) {
            block.end = i - 1;
            block.terminated = true;
            return block;
        }
        if (code == 90 && block.dataType < 0) {
            block.dataType = static_cast<int>(wholeNumber(tags[i].value));
        } else if (code == 2 || code == 3) {
            chunks.push_back(i);
        } else if (code == 1) {
            block.copies.push_back(copyOf(editor, chunks, i, 2, false));
        } else if (code == 303) {
            displayChunks.push_back(i);
        } else if (code == 302) {
            block.copies.push_back(copyOf(editor, displayChunks, i, 303, false));
        }
    }
    block.end = to;
    return block;
}

struct CellData {
    std::size_t cell = 0;
    bool text = false;  // a text cell holding a string
    std::vector<TextCopy> copies;
};

struct TableLayout {
    std::vector<CellData> cells;
    bool understood = false;
};

// A cell from its group 171 to the next one: a legacy copy (1, chunks in 2 or 3) and the value.
CellData readCell(const RecordEditor& editor, std::size_t from, std::size_t to, bool& understood) {
    const auto& tags = editor.tags();
    CellData cell;
    bool textType = trimmed(tags[from].value) == "1";
    bool field = false;
    int dataType = -1;
    std::vector<std::size_t> chunks;
    for (std::size_t i = from + 1; i < to; ++i) {
        const int code = tags[i].code;
        if (isMarker(tags[i], 301, "CELL_VALUE")) {
            ValueBlock value = readValueBlock(editor, i + 1, to);
            understood = understood && value.terminated;
            dataType = value.dataType;
            for (TextCopy& copy : value.copies)
                cell.copies.push_back(std::move(copy));
            i = value.end;
        } else if (code == 344) {
            field = field || (!trimmed(tags[i].value).empty() && trimmed(tags[i].value) != "0");
        } else if (code == 2 || code == 3) {
            chunks.push_back(i);
        } else if (code == 1) {
            cell.copies.push_back(copyOf(editor, chunks, i, 2, true));
        }
    }
    // A field's text is worked out by the host; numbers and dates are values, not texts.
    cell.text = textType && !field && !cell.copies.empty() && (dataType == -1 || dataType == 4);
    return cell;
}

TableLayout readTable(const RecordEditor& editor) {
    const auto& tags = editor.tags();
    TableLayout layout;
    std::size_t end = tags.size();
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].code >= 1000) {
            end = i;
            break;
        }
    }
    std::size_t at = 0;
    while (at < end && !isMarker(tags[at], 100, "AcDbTable"))
        ++at;
    if (at == end)
        return layout;
    long long rows = -1, columns = -1;
    std::vector<std::size_t> starts;
    for (std::size_t i = at; i < end; ++i) {
        if (tags[i].code == 171)
            starts.push_back(i);
        else if (starts.empty() && tags[i].code == 91 && rows < 0)
            rows = wholeNumber(tags[i].value);
        else if (starts.empty() && tags[i].code == 92 && columns < 0)
            columns = wholeNumber(tags[i].value);
    }
    layout.understood =
        rows > 0 && columns > 0 && static_cast<std::size_t>(rows * columns) == starts.size();
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const std::size_t to = c + 1 < starts.size() ? starts[c + 1] : end;
        layout.cells.push_back(readCell(editor, starts[c], to, layout.understood));
        layout.cells.back().cell = c;
    }
    return layout;
}

// The string values of a TABLECONTENT object's cells (inside "1 CELLCONTENT_BEGIN" ... "309
// CELLCONTENT_END", each opened by "300 VALUE").
struct ContentValues {
    std::vector<std::vector<TextCopy>> strings;  // non-empty strings, in cell order
    bool understood = true;
};

ContentValues readContent(const RecordEditor& editor, const Drawing& drawing) {
    const auto& tags = editor.tags();
    ContentValues content;
    bool inCell = false;
    for (std::size_t i = 0; i < tags.size() && tags[i].code < 1000; ++i) {
        if (isMarker(tags[i], 1, "CELLCONTENT_BEGIN")) {
            inCell = true;
        } else if (isMarker(tags[i], 309, "CELLCONTENT_END")) {
            inCell = false;
        } else if (inCell && isMarker(tags[i], 300, "VALUE")) {
            ValueBlock value = readValueBlock(editor, i + 1, tags.size());
            content.understood = content.understood && value.terminated;
            if (value.dataType == 4 && !value.copies.empty() &&
                !drawing.decodeText(storedBytes(editor, value.copies.front())).empty()) {
                content.strings.push_back(std::move(value.copies));
            }
            i = value.end;
        }
    }
    return content;
}

// Takes out the entity's proxy graphics (a byte count, 92 or 160, then 310 chunks in its
// AcDbEntity subclass): they would draw the old text where a reader draws them; the host draws
// the entity from its data.
void dropProxyGraphics(RecordEditor& editor) {
    auto& tags = editor.tags();
    bool entitySubclass = false;
    for (std::size_t i = 0; i < tags.size() && tags[i].code < 1000; ++i) {
        if (tags[i].code == 100) {
            if (entitySubclass)
                return;
            entitySubclass = trimmed(tags[i].value) == "AcDbEntity";
        } else if (entitySubclass && (tags[i].code == 92 || tags[i].code == 160) &&
                   i + 1 < tags.size() && tags[i + 1].code == 310) {
            std::size_t end = i + 1;
            while (end < tags.size() && tags[end].code == 310)
                ++end;
            editor.erase(i, end - i);
            return;
        }
    }
}

[[noreturn]] void refuse(const std::string& why) {
    throw DxfError(DxfError::Kind::InvalidArgument, why + "，未修改此表格");
}

// The handles an object or entity points at (not its owner).
std::vector<std::uint64_t> pointers(const RecordEditor& editor) {
    std::vector<std::uint64_t> found;
    for (const auto& tag : editor.tags()) {
        if (tag.code >= 340 && tag.code <= 369) {
            if (const auto handle = parseHandle(trimmed(tag.value)))
                found.push_back(*handle);
        }
    }
    return found;
}

// The owner: the first group 330 outside application groups ("102 {ACAD_REACTORS" ...).
std::optional<std::uint64_t> ownerOf(const RecordEditor& editor) {
    bool inGroup = false;
    for (const auto& tag : editor.tags()) {
        if (tag.code == code::kApplicationGroup)
            inGroup = trimmed(tag.value).starts_with('{');
        else if (tag.code == code::kOwner && !inGroup)
            return parseHandle(trimmed(tag.value));
    }
    return std::nullopt;
}

// The TABLECONTENT objects of a table: owned by it, or reached from its extension dictionary
// through dictionaries and records. Raises when the drawing holds some and none is the table's.
std::vector<EntityId> contentsOf(const Drawing& drawing, const RecordEditor& table,
                                 std::uint64_t tableHandle) {
    std::map<std::uint64_t, const Drawing::ObjectRecord*> byHandle;
    const std::vector<Drawing::ObjectRecord> objects = drawing.objectRecords();
    std::set<EntityId> found;
    bool anyContent = false;
    for (const auto& object : objects) {
        if (object.type != "DICTIONARY" && object.type != "XRECORD" &&
            object.type != "TABLECONTENT")
            continue;
        if (object.handle != 0)
            byHandle[object.handle] = &object;
        if (object.type == "TABLECONTENT") {
            anyContent = true;
            if (ownerOf(RecordEditor(drawing.recordBytes(object.id))) == tableHandle)
                found.insert(object.id);
        }
    }
    if (!anyContent)
        return {};
    std::vector<std::uint64_t> wave = pointers(table);
    std::set<std::uint64_t> seen;
    for (int depth = 0; depth < 4 && !wave.empty(); ++depth) {
        std::vector<std::uint64_t> next;
        for (const std::uint64_t handle : wave) {
            const auto object = byHandle.find(handle);
            if (object == byHandle.end() || !seen.insert(handle).second)
                continue;
            if (object->second->type == "TABLECONTENT") {
                found.insert(object->second->id);
                continue;
            }
            for (const std::uint64_t pointer :
                 pointers(RecordEditor(drawing.recordBytes(object->second->id))))
                next.push_back(pointer);
        }
        wave = std::move(next);
    }
    if (found.empty())
        refuse(
            "图形中有表格内容对象（TABLECONTENT）而对应不上此表格，"
            "无法确认单元格文字的另一处存储");
    if (found.size() > 1)
        refuse("此表格对应多个表格内容对象（TABLECONTENT）");
    return {found.begin(), found.end()};
}

// Puts `encoded` in place of the copy's tags. The tag that ends the copy keeps its place and its
// line.
void replaceCopy(RecordEditor& editor, const TextCopy& copy, std::string_view encoded,
                 const Drawing& drawing, EntityId id) {
    // Chunked where the cell text is documented or found chunked; elsewhere one value, which a
    // text too long for it refuses.
    std::vector<std::string> chunks;
    if (copy.legacy || copy.tags.size() > 1) {
        chunks = splitChunks(encoded, drawing.codePage(), 250);
    } else {
        chunks.emplace_back(encoded);
    }
    for (const std::string& chunk : chunks)
        drawing.requireValueFits(id, chunk);
    // Chunk tags are reused in order, surplus ones dropped, missing ones added before the end.
    const std::size_t oldChunks = copy.tags.size() - 1;
    const std::size_t newChunks = chunks.size() - 1;
    std::size_t last = copy.tags.back();
    for (std::size_t i = oldChunks; i-- > newChunks;) {
        editor.erase(copy.tags[i]);
        --last;
    }
    for (std::size_t i = 0; i < std::min(oldChunks, newChunks); ++i)
        editor.tags()[copy.tags[i]].value = chunks[i];
    editor.tags()[last].value = chunks.back();
    for (std::size_t i = oldChunks; i < newChunks; ++i)
        editor.insert(last++, copy.chunkCode, chunks[i]);
}

// Rewrites copies from the last to the first, so that the indexes of the others hold.
void replaceCopies(RecordEditor& editor, std::vector<std::pair<TextCopy, std::string>> copies,
                   const Drawing& drawing, EntityId id) {
    std::sort(copies.begin(), copies.end(), [](const auto& a, const auto& b) {
        return a.first.tags.front() > b.first.tags.front();
    });
    for (const auto& [copy, raw] : copies) {
        const std::string encoded = drawing.encodeReplacing(storedBytes(editor, copy), raw);
        replaceCopy(editor, copy, encoded, drawing, id);
    }
}

std::string decodedCopy(const Drawing& drawing, const RecordEditor& editor, const TextCopy& copy) {
    return drawing.decodeText(storedBytes(editor, copy));
}

bool copiesAgree(const Drawing& drawing, const RecordEditor& editor,
                 const std::vector<TextCopy>& copies) {
    return std::all_of(copies.begin(), copies.end(), [&](const TextCopy& copy) {
        return decodedCopy(drawing, editor, copy) == decodedCopy(drawing, editor, copies.front());
    });
}

}  // namespace

std::vector<TableCellText> tableCellTexts(const Drawing& drawing, EntityId table) {
    const RecordEditor editor(drawing.recordBytes(table));
    std::vector<TableCellText> texts;
    for (const CellData& cell : readTable(editor).cells) {
        if (!cell.text)
            continue;
        std::string raw = decodedCopy(drawing, editor, cell.copies.front());
        if (!raw.empty())
            texts.push_back({cell.cell, std::move(raw)});
    }
    return texts;
}

std::string tableBlockName(const Drawing& drawing, EntityId table) {
    TagCursor cursor(drawing.recordBytes(table));
    RawTag tag;
    while (cursor.next(tag) && tag.code < 1000) {
        if (tag.code == code::kName)
            return drawing.decodeText(trimmed(tag.value));
    }
    return {};
}

void writeTableCells(Drawing& drawing, EntityId table, const std::vector<CellEdit>& edits) {
    RecordEditor editor(drawing.recordBytes(table));
    const std::string handle = drawing.handle(table);
    const TableLayout layout = readTable(editor);
    if (!layout.understood)
        refuse("单元格数据的结构无法识别");
    // The cells that hold a string, in order: a TABLECONTENT object lists the same ones.
    std::vector<const CellData*> strings;
    for (const CellData& cell : layout.cells) {
        if (cell.text && !decodedCopy(drawing, editor, cell.copies.front()).empty())
            strings.push_back(&cell);
    }
    std::vector<std::pair<TextCopy, std::string>> tableCopies;
    std::map<std::size_t, std::string> newTextOf;  // cell -> new raw
    for (const CellEdit& edit : edits) {
        if (edit.cell >= layout.cells.size() || !layout.cells[edit.cell].text)
            refuse("第 " + std::to_string(edit.cell + 1) + " 个单元格不是文字单元格");
        const CellData& cell = layout.cells[edit.cell];
        if (!copiesAgree(drawing, editor, cell.copies))
            refuse("单元格的几处存储文字不一致");
        for (const TextCopy& copy : cell.copies)
            tableCopies.emplace_back(copy, edit.raw);
        newTextOf[edit.cell] = edit.raw;
    }
    const std::optional<std::uint64_t> tableHandle = parseHandle(handle);
    const std::vector<EntityId> contents =
        tableHandle ? contentsOf(drawing, editor, *tableHandle) : std::vector<EntityId>{};
    std::optional<RecordEditor> content;
    if (!contents.empty()) {
        content.emplace(drawing.recordBytes(contents.front()));
        const ContentValues values = readContent(*content, drawing);
        bool same = values.understood && values.strings.size() == strings.size();
        for (std::size_t i = 0; same && i < strings.size(); ++i) {
            same = copiesAgree(drawing, *content, values.strings[i]) &&
                   decodedCopy(drawing, *content, values.strings[i].front()) ==
                       decodedCopy(drawing, editor, strings[i]->copies.front());
        }
        if (!same)
            refuse("单元格文字在表格内容对象（TABLECONTENT）中另存了一份，两处不一致");
        std::vector<std::pair<TextCopy, std::string>> contentCopies;
        for (std::size_t i = 0; i < strings.size(); ++i) {
            const auto edit = newTextOf.find(strings[i]->cell);
            if (edit == newTextOf.end())
                continue;
            for (const TextCopy& copy : values.strings[i])
                contentCopies.emplace_back(copy, edit->second);
        }
        replaceCopies(*content, std::move(contentCopies), drawing, contents.front());
    }
    replaceCopies(editor, std::move(tableCopies), drawing, table);
    dropProxyGraphics(editor);
    // Both records are ready: only now does the drawing change.
    drawing.setRecordBytes(table, editor.serialize());
    if (content)
        drawing.setRecordBytes(contents.front(), content->serialize());
}

namespace {

// The index of the multileader's text tag (304 in its context data, before the leaders).
std::optional<std::size_t> multileaderTextTag(const RecordEditor& editor) {
    const auto& tags = editor.tags();
    bool context = false;
    for (std::size_t i = 0; i < tags.size() && tags[i].code < 1000; ++i) {
        if (isMarker(tags[i], 300, "CONTEXT_DATA{")) {
            context = true;
        } else if (context && (isMarker(tags[i], 302, "LEADER{") || isMarker(tags[i], 301, "}"))) {
            return std::nullopt;
        } else if (context && tags[i].code == 304 && trimmed(tags[i].value) != "LEADER_LINE{") {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> multileaderText(const Drawing& drawing, EntityId multileader) {
    const RecordEditor editor(drawing.recordBytes(multileader));
    const auto at = multileaderTextTag(editor);
    if (!at)
        return std::nullopt;
    return drawing.decodeText(editor.tags()[*at].value);
}

void writeMultileaderText(Drawing& drawing, EntityId multileader, std::string_view raw) {
    RecordEditor editor(drawing.recordBytes(multileader));
    const auto at = multileaderTextTag(editor);
    if (!at)
        throw DxfError(DxfError::Kind::NoSuchEntity, "多重引线没有文字内容");
    std::string& value = editor.tags()[*at].value;
    std::string encoded = drawing.encodeReplacing(value, raw);
    drawing.requireValueFits(multileader, encoded);
    value = std::move(encoded);
    dropProxyGraphics(editor);
    drawing.setRecordBytes(multileader, editor.serialize());
}

}  // namespace quorvel::dxf
