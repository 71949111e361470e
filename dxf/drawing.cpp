#include "dxf/drawing.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>
#include <unordered_map>
#include <utility>

#include "dxf/drawingimpl.h"
#include "dxf/filereplace.h"
#include "dxf/wildcard.h"

namespace quorvel::dxf {

bool isJustifyOption(std::string_view option) {
    return parseJustifyOption(option).has_value();
}

std::filesystem::path backupPathFor(const std::filesystem::path& drawingFile) {
    auto backup = drawingFile;
    backup.replace_extension(".bak");
    return backup;
}

TextPlacement Drawing::Impl::placementOf(const RecordEditor& editor) const {
    TextPlacement placement;
    const auto value = [&](int code) -> std::optional<double> {
        const std::size_t at = editor.find(code);
        if (at == RecordEditor::npos)
            return std::nullopt;
        return parseNumber(editor.tags()[at].value);
    };
    placement.first = {value(10).value_or(0), value(20).value_or(0), value(30).value_or(0)};
    if (editor.find(11) != RecordEditor::npos) {
        placement.second =
            Point{value(11).value_or(0), value(21).value_or(0), value(31).value_or(0)};
    }
    placement.height = value(40).value_or(1);
    placement.rotation = value(50).value_or(0);
    placement.widthFactor = value(41).value_or(1);
    placement.justification.horizontal = static_cast<int>(value(72).value_or(0));
    placement.justification.vertical = static_cast<int>(value(73).value_or(0));
    if (placement.justification.horizontal < 0 || placement.justification.horizontal > 5) {
        placement.justification.horizontal = 0;
    }
    if (placement.justification.vertical < 0 || placement.justification.vertical > 3) {
        placement.justification.vertical = 0;
    }
    return placement;
}

namespace {

// Sets an integer tag, keeping its spelling ("     1") when the value stays.
void setInteger(RecordEditor::Tag& tag, int value) {
    if (parseNumber(tag.value) != static_cast<double>(value))
        tag.value = std::to_string(value);
}

// Sets an integer tag, or inserts it at `insertAt` when the record lacks it. Returns its index.
std::size_t setOrInsert(RecordEditor& editor, int code, int value, std::size_t insertAt) {
    const std::size_t at = editor.find(code);
    if (at != RecordEditor::npos) {
        setInteger(editor.tags()[at], value);
        return at;
    }
    editor.insert(insertAt, code, std::to_string(value));
    return insertAt;
}

// Index after the last of the text tags that come before groups 72 and 11.
std::size_t afterTextTags(const RecordEditor& editor) {
    const auto& tags = editor.tags();
    std::size_t first = editor.find(10);
    if (first == RecordEditor::npos)
        first = 0;
    std::size_t after = first + 1;
    for (std::size_t i = first; i < tags.size(); ++i) {
        const int code = tags[i].code;
        if (code == 100 && i > first)
            break;
        if (code == 10 || code == 20 || code == 30 || code == 40 || code == 1 || code == 50 ||
            code == 41 || code == 51 || code == 7 || code == 71 || code == 72) {
            after = i + 1;
        } else if (code == 11 || code == 210 || code == 73 || code >= 1000) {
            break;
        }
    }
    return std::min(after, tags.size());
}

// Where the vertical alignment goes in a drawing with subclass markers: after the second
// AcDbText marker, which is added before any extended data when missing.
std::size_t secondTextSubclass(RecordEditor& editor) {
    auto& tags = editor.tags();
    bool seenFirst = false;
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].code == 100 && trimmed(tags[i].value) == "AcDbText") {
            if (seenFirst)
                return i;
            seenFirst = true;
        }
    }
    std::size_t end = tags.size();
    for (std::size_t i = 0; i < tags.size(); ++i) {
        if (tags[i].code >= 1000) {
            end = i;
            break;
        }
    }
    editor.insert(end, 100, "AcDbText");
    return end;
}

void writeVerticalAlignment(RecordEditor& editor, int vertical, bool subclassMarkers) {
    auto& tags = editor.tags();
    const std::size_t existing = editor.find(73);
    if (existing != RecordEditor::npos) {
        setInteger(tags[existing], vertical);
    } else if (subclassMarkers && editor.find(100) != RecordEditor::npos) {
        editor.insert(secondTextSubclass(editor) + 1, 73, std::to_string(vertical));
    } else {
        std::size_t at = editor.find(11);
        if (at != RecordEditor::npos) {
            at += 1;
            while (at < tags.size() && (tags[at].code == 21 || tags[at].code == 31))
                ++at;
        } else {
            at = afterTextTags(editor);
        }
        editor.insert(at, 73, std::to_string(vertical));
    }
}

// Extension dictionaries and reactors belong to the original only: a copy goes without them.
void dropOriginalsGroups(RecordEditor& editor) {
    auto& tags = editor.tags();
    for (std::size_t i = 0; i < tags.size();) {
        const std::string_view value = trimmed(tags[i].value);
        if (tags[i].code == 102 && (value == "{ACAD_XDICTIONARY" || value == "{ACAD_REACTORS")) {
            std::size_t end = i + 1;
            while (end < tags.size() &&
                   !(tags[end].code == 102 && trimmed(tags[end].value) == "}")) {
                ++end;
            }
            editor.erase(i, end - i + 1);
            continue;
        }
        ++i;
    }
}

}  // namespace

void Drawing::Impl::writePlacement(RecordEditor& editor, const TextPlacement& before,
                                   const TextPlacement& after) const {
    auto& tags = editor.tags();
    const auto setNumber = [&](int code, double value) {
        const std::size_t at = editor.find(code);
        // Values that stay the same keep their spelling.
        if (at != RecordEditor::npos && parseNumber(tags[at].value) != value) {
            tags[at].value = formatNumber(value);
        }
    };
    setNumber(10, after.first.x);
    setNumber(20, after.first.y);
    // Height and width factor change only where aligned or fit text is fitted again.
    if (after.height != before.height)
        setNumber(40, after.height);
    if (after.widthFactor != before.widthFactor) {
        const std::size_t height = editor.find(40);
        if (editor.find(41) == RecordEditor::npos && height != RecordEditor::npos)
            editor.insert(height + 1, 41, formatNumber(after.widthFactor));
        setNumber(41, after.widthFactor);
    }
    const bool hasZ = editor.find(30) != RecordEditor::npos;

    const Justification& j = after.justification;
    const bool justified = j.horizontal != 0 || j.vertical != 0;
    std::size_t position = afterTextTags(editor);
    if (j.horizontal != before.justification.horizontal || editor.find(72) != RecordEditor::npos) {
        if (j.horizontal != 0 || editor.find(72) != RecordEditor::npos) {
            position = setOrInsert(editor, 72, j.horizontal, position) + 1;
        }
    }
    if (after.second && (justified || editor.find(11) != RecordEditor::npos)) {
        if (editor.find(11) == RecordEditor::npos) {
            editor.insert(position, 11, formatNumber(after.second->x));
            editor.insert(position + 1, 21, formatNumber(after.second->y));
            if (hasZ)
                editor.insert(position + 2, 31, formatNumber(after.second->z));
        } else {
            setNumber(11, after.second->x);
            setNumber(21, after.second->y);
            setNumber(31, after.second->z);
        }
    }
    if (j.vertical != 0 || editor.find(73) != RecordEditor::npos)
        writeVerticalAlignment(editor, j.vertical, usesSubclassMarkers());
}

// ---------------------------------------------------------------------------------------------
// The interface

Drawing::Drawing(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Drawing::Drawing(Drawing&&) noexcept = default;
Drawing& Drawing::operator=(Drawing&&) noexcept = default;
Drawing::~Drawing() = default;

Drawing Drawing::fromBytes(std::string bytes) {
    auto impl = std::make_unique<Impl>();
    impl->source = std::move(bytes);
    impl->parse();
    return Drawing(std::move(impl));
}

Drawing Drawing::load(const std::filesystem::path& file) {
#ifndef _WIN32
    FileIdentity identity;
    std::string bytes = readFileWithIdentity(file, identity);
#else
    std::error_code error;
    if (std::filesystem::is_directory(file, error)) {
        throw DxfError(DxfError::Kind::Io, "“" + shownPath(file) + "”是文件夹，不是图形文件");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw DxfError(DxfError::Kind::Io,
                       "无法打开图形文件“" + shownPath(file) + "”：" + std::strerror(errno));
    }
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw DxfError(DxfError::Kind::Io, "读取图形文件“" + shownPath(file) + "”失败");
#endif
    try {
        Drawing drawing = fromBytes(std::move(bytes));
#ifndef _WIN32
        drawing.impl_->origin = FileOrigin{resolvedPath(file), identity};
#endif
        return drawing;
    } catch (const DxfError& e) {
        if (e.kind() != DxfError::Kind::Format)
            throw;
        throw DxfError(DxfError::Kind::Format, "“" + shownPath(file.filename()) + "”：" + e.what());
    }
}

Drawing Drawing::fromTemplate(const std::filesystem::path& templateFile) {
    Drawing drawing = load(templateFile);
    drawing.impl_->origin.reset();  // untitled: the template is not its file
    return drawing;
}

std::string Drawing::toBytes() const {
    std::string out;
    std::size_t size = 0;
    impl_->write([&](std::string_view piece) { size += piece.size(); });
    out.reserve(size);
    impl_->write([&](std::string_view piece) { out.append(piece); });
    return out;
}

#ifndef _WIN32
std::vector<std::string> Drawing::save(const std::filesystem::path& file) {
    Impl& d = *impl_;
    ReplaceResult result = replaceFile(
        file,
        [&](OrderedFileWriter& out) {
            d.write([&](std::string_view piece) { out.append(piece); });
        },
        d.origin);
    d.origin = FileOrigin{resolvedPath(file), result.written};
    d.modified = false;
    return std::move(result.notes);
}
#else
// Windows replaces the file its own way (filereplace_win32.cpp), without the checks of the
// POSIX side: no owner to keep, no notes.
std::vector<std::string> Drawing::save(const std::filesystem::path& requested) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = savedFileFor(requested);
    const std::string shown = shownPath(requested);
    if (fs::is_directory(target, error)) {
        throw DxfError(DxfError::Kind::Io, "“" + shown + "”是文件夹，不能保存为图形");
    }
    fs::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    replaceFile(target, folder, backupPathFor(target), shown,
                [this](const ByteSink& sink) { impl_->write(sink); });
    impl_->modified = false;
    return {};
}
#endif

bool Drawing::isModified() const noexcept {
    return impl_->modified;
}

std::string Drawing::version() const {
    return impl_->header.version;
}

std::string Drawing::codePage() const {
    return impl_->codec->isUtf8() ? std::string("UTF-8") : impl_->header.codePage;
}

std::vector<EntityId> Drawing::select(const std::vector<std::int16_t>& codes,
                                      const std::vector<std::string>& values) const {
    if (codes.size() != values.size()) {
        throw DxfError(DxfError::Kind::InvalidArgument, "选择过滤器的组码与组值个数不一致");
    }
    for (const std::int16_t code : codes) {
        if (code < 0) {
            throw DxfError(DxfError::Kind::InvalidArgument,
                           "不支持的选择过滤组码 " + std::to_string(code));
        }
    }
    const Impl& d = *impl_;
    // Entity types and layers are few: each filter decides each of them once.
    std::vector<std::vector<std::int8_t>> verdicts(codes.size());
    for (std::size_t f = 0; f < codes.size(); ++f) {
        if (codes[f] == 0)
            verdicts[f].assign(d.types.size(), -1);
        if (codes[f] == 8)
            verdicts[f].assign(d.layers.size() + 1, -1);
    }
    std::vector<EntityId> selected;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind != RecordKind::Entity || d.spaceOf(record) == Space::Block)
            continue;
        bool passes = true;
        std::optional<EntityTags> tags;
        for (std::size_t f = 0; f < codes.size() && passes; ++f) {
            const std::int16_t code = codes[f];
            if (code == 0) {
                auto& verdict = verdicts[f][record.type];
                if (verdict < 0)
                    verdict = wildcardMatch(d.types.name(record.type), values[f]) ? 1 : 0;
                passes = verdict == 1;
            } else if (code == 8) {
                auto& verdict = verdicts[f][record.layer == kNone ? d.layers.size() : record.layer];
                if (verdict < 0)
                    verdict = wildcardMatch(d.layerName(record), values[f]) ? 1 : 0;
                passes = verdict == 1;
            } else {
                if (!tags)
                    tags.emplace(d.bytesOf(i));
                const auto value = tags->first(code);
                std::string text;
                if (value) {
                    text = d.codec->decode(trimmed(*value));
                } else if (code == 67) {
                    text = "0";
                } else if (code == 62) {
                    text = "256";
                } else if (code == 6) {
                    text = "BYLAYER";
                } else {
                    passes = false;
                    break;
                }
                passes = wildcardMatch(text, values[f]);
            }
        }
        if (passes)
            selected.push_back(i + 1);
    }
    return selected;
}

bool Drawing::exists(EntityId id) const noexcept {
    return impl_->indexOf(id) != kNone;
}

std::string Drawing::entityType(EntityId id) const {
    return impl_->types.name(impl_->records[impl_->requireEntity(id)].type);
}

std::string Drawing::handle(EntityId id) const {
    const Record& record = impl_->records[impl_->requireEntity(id)];
    return (record.flags & kHasHandle) ? formatHandle(record.handle) : std::string();
}

std::optional<EntityInfo> Drawing::entity(EntityId id) const {
    const std::uint32_t index = impl_->indexOf(id);
    if (index == kNone)
        return std::nullopt;
    return impl_->info(index);
}

std::string Drawing::text(EntityId id) const {
    const std::uint32_t index = impl_->requireText(id);
    const EntityTags tags(impl_->bytesOf(index));
    return impl_->codec->decode(tags.first(1).value_or(""));
}

void Drawing::setText(EntityId id, std::string_view utf8) {
    Impl& d = *impl_;
    const std::uint32_t index = d.requireText(id);
    RecordEditor editor(d.bytesOf(index));
    const TextPlacement before = d.placementOf(editor);
    const std::size_t at = editor.find(1);
    const std::string encoded = at != RecordEditor::npos
                                    ? d.codec->encodeReplacing(editor.tags()[at].value, utf8)
                                    : d.codec->encode(utf8);
    requireValueFits(id, encoded);
    std::string oldValue;
    if (at != RecordEditor::npos) {
        oldValue = std::move(editor.tags()[at].value);
        editor.tags()[at].value = encoded;
    } else {
        const std::size_t height = editor.find(40);
        editor.insert(height == RecordEditor::npos ? editor.tags().size() : height + 1, 1, encoded);
    }
    if (d.types.name(d.records[index].type) == "TEXT") {
        const double width = textWidthInHeights(utf8);
        const int horizontal = before.justification.horizontal;
        const bool fitted = horizontal == 3 || horizontal == 5;  // aligned or fit
        const double oldWidth = fitted ? textWidthInHeights(d.codec->decode(oldValue)) : width;
        const TextPlacement after =
            fitBetweenPoints(keepAlignmentPoint(before, width), oldWidth, width);
        d.writePlacement(editor, before, after);
    }
    d.setBytes(index, editor.serialize());
    d.modified = true;
}

double Drawing::height(EntityId id) const {
    const std::uint32_t index = impl_->requireText(id);
    return EntityTags(impl_->bytesOf(index)).number(40, 0);
}

void Drawing::setHeight(EntityId id, double height) {
    if (!std::isfinite(height) || height <= 0) {
        throw DxfError(DxfError::Kind::InvalidArgument, "文字高度必须是大于零的数");
    }
    Impl& d = *impl_;
    const std::uint32_t index = d.requireText(id);
    RecordEditor editor(d.bytesOf(index));
    const TextPlacement before = d.placementOf(editor);
    const std::size_t at = editor.find(40);
    if (at != RecordEditor::npos) {
        editor.tags()[at].value = formatNumber(height);
    } else {
        const std::size_t first = editor.find(10);
        std::size_t insertAt = first == RecordEditor::npos ? editor.tags().size() : first + 1;
        while (insertAt < editor.tags().size() &&
               (editor.tags()[insertAt].code == 20 || editor.tags()[insertAt].code == 30)) {
            ++insertAt;
        }
        editor.insert(insertAt, 40, formatNumber(height));
    }
    if (d.types.name(d.records[index].type) == "TEXT") {
        TextPlacement resized = before;
        resized.height = height;
        const EntityTags tags(d.bytesOf(index));
        const TextPlacement after = keepAlignmentPoint(
            resized, textWidthInHeights(d.codec->decode(tags.first(1).value_or(""))));
        d.writePlacement(editor, before, after);
    }
    d.setBytes(index, editor.serialize());
    d.modified = true;
}

void Drawing::justify(EntityId id, std::string_view option) {
    Impl& d = *impl_;
    const auto justification = parseJustifyOption(trimmed(option));
    if (!justification) {
        throw DxfError(DxfError::Kind::InvalidArgument,
                       "无效的对齐方式“" + std::string(option.substr(0, 40)) +
                           "”，可用的选项为 L A F C M R TL TC TR ML MC MR BL BC BR");
    }
    const std::uint32_t index = d.requireEntity(id);
    if (d.types.name(d.records[index].type) != "TEXT") {
        throw DxfError(DxfError::Kind::NoSuchEntity, "只能调整单行文字的对齐方式");
    }
    RecordEditor editor(d.bytesOf(index));
    const TextPlacement before = d.placementOf(editor);
    const EntityTags tags(d.bytesOf(index));
    const double measured = textWidthInHeights(d.codec->decode(tags.first(1).value_or("")));
    const Baseline baseline = baselineOf(before, measured);
    const TextPlacement after = placeOnBaseline(before, baseline, *justification);
    d.writePlacement(editor, before, after);
    d.setBytes(index, editor.serialize());
    d.modified = true;
}

EntityId Drawing::copy(EntityId id) {
    Impl& d = *impl_;
    const std::uint32_t index = d.requireEntity(id);
    const Record& original = d.records[index];
    const std::uint32_t container = original.container;
    std::uint32_t before = d.containers[container].terminator;
    const std::vector<std::uint32_t> group = d.withFollowers(index);
    const bool hadHandle = (original.flags & kHasHandle) != 0;
    const std::uint64_t originalHandle = original.handle;

    // Build every new record first, so that a failure changes nothing.
    std::vector<std::pair<Record, std::string>> copies;
    std::uint64_t nextHandle = d.nextHandle;
    const auto needed = static_cast<std::uint64_t>(
        std::count_if(group.begin(), group.end(),
                      [&](std::uint32_t member) { return d.records[member].flags & kHasHandle; }));
    if (std::numeric_limits<std::uint64_t>::max() - nextHandle < needed) {
        throw DxfError(DxfError::Kind::Format,
                       "图形中的对象句柄已经用尽（已到 FFFFFFFFFFFFFFFF），不能再复制对象");
    }
    std::uint64_t newMainHandle = 0;
    for (const std::uint32_t member : group) {
        Record record = d.records[member];
        record.edited = -1;
        record.prev = record.next = kNone;
        RecordEditor editor(d.bytesOf(member));
        auto& tags = editor.tags();
        dropOriginalsGroups(editor);
        if (record.flags & kHasHandle) {
            const std::size_t at = editor.find(5);
            if (at != RecordEditor::npos) {
                record.handle = nextHandle++;
                tags[at].value = formatHandle(record.handle);
            } else {
                record.flags &= static_cast<std::uint8_t>(~kHasHandle);
            }
        }
        if (member == index) {
            newMainHandle = record.handle;
        } else if (hadHandle) {
            for (auto& tag : tags) {
                if (tag.code == 330 && parseHandle(tag.value) == originalHandle) {
                    tag.value = formatHandle(newMainHandle);
                }
            }
        }
        copies.emplace_back(record, editor.serialize());
    }

    if (before == kNone)
        before = d.records[group.back()].next;
    std::uint32_t newMain = kNone;
    for (auto& [record, bytes] : copies) {
        if (newMain != kNone)
            record.main = newMain;
        const std::uint32_t added = d.appendRecord(record, std::move(bytes), before);
        if (newMain == kNone)
            newMain = added;
        if (d.referencesIndexed) {
            d.indexRecordReferences(added);
        }
    }
    if (nextHandle != d.nextHandle) {
        d.nextHandle = nextHandle;
        d.handseedChanged = true;
    }
    d.created.push_back(newMain);
    d.modified = true;
    return newMain + 1;
}

void Drawing::erase(EntityId id) {
    Impl& d = *impl_;
    const std::uint32_t index = d.requireEntity(id);
    d.indexReferences();
    d.eraseRecords(d.withFollowers(index));
    d.modified = true;
}

std::optional<EntityId> Drawing::lastObject() const {
    const Impl& d = *impl_;
    for (auto it = d.created.rbegin(); it != d.created.rend(); ++it) {
        if (!(d.records[*it].flags & kErased))
            return *it + 1;
    }
    if (d.entitiesContainer == kNone)
        return std::nullopt;
    const std::uint32_t end = d.containers[d.entitiesContainer].terminator;
    for (std::uint32_t i = end == kNone ? kNone : d.records[end].prev; i != kNone;
         i = d.records[i].prev) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Entity)
            return i + 1;
        if (record.kind != RecordKind::Follower)
            break;
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------
// Raw access to text records

std::vector<Drawing::TextRecord> Drawing::textRecords() const {
    const Impl& d = *impl_;
    std::vector<TextRecord> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind != RecordKind::Entity && record.kind != RecordKind::Follower)
            continue;
        const std::string& type = d.types.name(record.type);
        if (type != "TEXT" && type != "MTEXT" && type != "ATTRIB" && type != "ATTDEF" &&
            type != "DIMENSION" && type != "ACAD_TABLE" && type != "MULTILEADER") {
            continue;
        }
        const Record& placed =
            record.kind == RecordKind::Follower ? d.records[record.main] : record;
        TextRecord text;
        text.id = i + 1;
        text.type = type;
        text.layer = d.layerName(record);
        if (record.flags & kHasHandle)
            text.handle = formatHandle(record.handle);
        text.space = d.spaceOf(placed);
        if (placed.container != kNone && placed.container != d.entitiesContainer)
            text.block = d.codec->decode(d.containers[placed.container].blockName);
        result.push_back(std::move(text));
    }
    return result;
}

std::vector<Drawing::ObjectRecord> Drawing::objectRecords() const {
    const Impl& d = *impl_;
    std::vector<ObjectRecord> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Object && !(record.flags & kErased)) {
            result.push_back({i + 1, d.types.name(record.type),
                              (record.flags & kHasHandle) ? record.handle : 0});
        }
    }
    return result;
}

namespace {
std::uint32_t requireRecord(const std::vector<Record>& records, EntityId id) {
    if (id == 0 || id > records.size() || (records[id - 1].flags & kErased) ||
        (records[id - 1].kind != RecordKind::Entity &&
         records[id - 1].kind != RecordKind::Follower &&
         records[id - 1].kind != RecordKind::Object)) {
        throw DxfError(DxfError::Kind::NoSuchEntity, "对象不存在或已被删除");
    }
    return static_cast<std::uint32_t>(id - 1);
}
}  // namespace

std::string_view Drawing::recordBytes(EntityId id) const {
    return impl_->bytesOf(requireRecord(impl_->records, id));
}

void Drawing::setRecordBytes(EntityId id, std::string bytes) {
    impl_->setBytes(requireRecord(impl_->records, id), std::move(bytes));
    impl_->modified = true;
}

std::string Drawing::decodeText(std::string_view fileBytes) const {
    return impl_->codec->decode(fileBytes);
}

std::string Drawing::encodeText(std::string_view utf8) const {
    return impl_->codec->encode(utf8);
}

std::string Drawing::encodeReplacing(std::string_view original, std::string_view utf8) const {
    return impl_->codec->encodeReplacing(original, utf8);
}

std::size_t Drawing::maxValueBytes() const {
    // R2000 (AC1015) widened string values; versions compare as their "ACnnnn" names.
    return impl_->header.version >= "AC1015" ? 2049 : 255;
}

void Drawing::requireValueFits(EntityId id, std::string_view fileBytes) const {
    const std::size_t limit = maxValueBytes();
    if (fileBytes.size() > limit) {
        // Attributes are followers of their block reference: not entities of their own.
        const Record& record = impl_->records[requireRecord(impl_->records, id)];
        const std::string handleText =
            (record.flags & kHasHandle) ? formatHandle(record.handle) : std::string();
        throw DxfError(DxfError::Kind::InvalidArgument,
                       "文字过长：" + (handleText.empty() ? "" : "句柄 " + handleText + " 的文字") +
                           "替换后为 " + std::to_string(fileBytes.size()) +
                           " 字节，超过此图形版本（" + version() + "）单个文字值的上限 " +
                           std::to_string(limit) + " 字节");
    }
}

}  // namespace quorvel::dxf
