#include "cadhost/dxf/drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <unordered_map>
#include <utility>

#include "cadhost/dxf/atomicfile.h"
#include "cadhost/dxf/codepage.h"
#include "cadhost/dxf/tags.h"
#include "cadhost/dxf/textlayout.h"
#include "cadhost/dxf/wildcard.h"

namespace quorvel::dxf {

namespace {

constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

enum class RecordKind : std::uint8_t {
    Prefix,      // comments before the first section
    Section,     // "0 SECTION" with everything up to the next code 0 (the whole HEADER)
    SectionEnd,  // "0 ENDSEC"
    BlockBegin,
    BlockEnd,
    Entity,    // an entity of the ENTITIES section or of a block definition
    Follower,  // VERTEX, ATTRIB or SEQEND belonging to the entity before it
    Object,    // an object of the OBJECTS section
    Other,     // tables, classes, unknown sections
    Eof,       // "0 EOF" and whatever follows it
};

enum RecordFlag : std::uint8_t {
    kErased = 1,
    kPaperSpace = 2,
    kHasHandle = 4,
};

struct Record {
    std::size_t begin = 0;  // byte range in the source
    std::size_t end = 0;
    std::uint64_t handle = 0;
    std::uint32_t prev = kNone;
    std::uint32_t next = kNone;
    std::uint32_t main = kNone;       // followers: their entity
    std::uint32_t container = kNone;  // entities: ENTITIES section or block definition
    std::uint32_t type = 0;           // interned group 0 value
    std::uint32_t layer = kNone;      // interned group 8 value
    std::int32_t edited = -1;         // index into editedBytes
    RecordKind kind = RecordKind::Other;
    std::uint8_t flags = 0;
};

struct Container {
    Space space = Space::Model;
    std::string blockName;  // raw bytes; empty for the ENTITIES section
    std::uint32_t terminator = kNone;
    std::uint32_t begin = kNone;  // the BLOCK record
};

struct StringHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

// Interns the few distinct strings (entity types, layer names) that thousands of records share.
class Interner {
public:
    std::uint32_t intern(std::string_view text) {
        if (lastIndex_ != kNone && text == names_[lastIndex_])
            return lastIndex_;
        auto found = index_.find(text);
        if (found == index_.end()) {
            names_.emplace_back(text);
            found = index_.emplace(std::string(text), static_cast<std::uint32_t>(names_.size() - 1))
                        .first;
        }
        lastIndex_ = found->second;
        return lastIndex_;
    }
    const std::string& name(std::uint32_t index) const { return names_[index]; }
    std::size_t size() const { return names_.size(); }

private:
    std::vector<std::string> names_;
    std::unordered_map<std::string, std::uint32_t, StringHash, std::equal_to<>> index_;
    std::uint32_t lastIndex_ = kNone;
};

bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

[[noreturn]] void formatError(const std::string& message) {
    throw DxfError(DxfError::Kind::Format, message);
}

std::string releaseName(std::string_view version) {
    static const std::pair<const char*, const char*> kReleases[] = {
        {"AC1009", "R12"},   {"AC1012", "R13"},   {"AC1014", "R14"},
        {"AC1015", "R2000"}, {"AC1018", "R2004"}, {"AC1021", "R2007"},
        {"AC1024", "R2010"}, {"AC1027", "R2013"}, {"AC1032", "R2018"},
    };
    for (const auto& [code, release] : kReleases) {
        if (version == code)
            return release;
    }
    return "";
}

// Refuses what is plainly not an ASCII DXF drawing, naming what it is.
void refuseOtherFormats(std::string_view bytes) {
    if (bytes.empty())
        formatError("文件是空的，不是图形文件");
    const auto startsWith = [&](std::string_view magic) {
        return bytes.substr(0, magic.size()) == magic;
    };
    if (bytes.size() >= 6 && startsWith("AC") &&
        std::all_of(bytes.begin() + 2, bytes.begin() + 6,
                    [](char c) { return std::isalnum(static_cast<unsigned char>(c)); })) {
        const std::string version(bytes.substr(0, 6));
        const std::string release = releaseName(version);
        formatError("这是 DWG 格式的图形（" + version + (release.empty() ? "" : "，" + release) +
                    "），本程序只能读写 ASCII DXF 格式的图形");
    }
    if (startsWith("AutoCAD Binary DXF")) {
        formatError("这是二进制 DXF 格式的图形，本程序只能读写 ASCII DXF 格式的图形");
    }
    static const std::pair<std::string_view, const char*> kOthers[] = {
        {"%PDF", "PDF 文档"},           {"\x89PNG", "PNG 图片"},
        {"\xFF\xD8\xFF", "JPEG 图片"},  {"GIF8", "GIF 图片"},
        {"PK\x03\x04", "ZIP 压缩文件"}, {"(DWF V", "DWF 图形"},
        {"{\\rtf", "RTF 文档"},         {"\xD0\xCF\x11\xE0", "Office 文档"},
    };
    for (const auto& [magic, name] : kOthers) {
        if (startsWith(magic))
            formatError(std::string("这是") + name + "，不是 DXF 图形文件");
    }
}

struct HeaderValues {
    std::string version;
    std::string codePage;
    std::optional<std::uint64_t> handseed;
    std::size_t handseedBegin = 0;  // value range of $HANDSEED in the source
    std::size_t handseedEnd = 0;
    bool handseedSeen = false;
    std::optional<Point> extMin;
    std::optional<Point> extMax;
};

double numberOr(std::string_view value, double fallback) {
    return parseNumber(value).value_or(fallback);
}

// Collected values of one entity's tags, read on demand for views and edits.
struct EntityTags {
    std::vector<std::pair<int, std::string_view>> tags;
    explicit EntityTags(std::string_view bytes) {
        TagCursor cursor(bytes);
        RawTag raw;
        while (cursor.next(raw))
            tags.emplace_back(raw.code, raw.value);
    }
    std::optional<std::string_view> first(int code) const {
        for (const auto& [c, v] : tags) {
            if (c == code)
                return v;
        }
        return std::nullopt;
    }
    double number(int code, double fallback) const {
        const auto value = first(code);
        return value ? numberOr(*value, fallback) : fallback;
    }
    std::optional<Point> point(int code) const {
        const auto x = first(code);
        if (!x)
            return std::nullopt;
        return Point{numberOr(*x, 0), number(code + 10, 0), number(code + 20, 0)};
    }
};

// Removes MTEXT formatting codes, keeping the characters a reader sees.
std::string plainMText(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{' || c == '}')
            continue;
        if (c != '\\' || i + 1 >= text.size()) {
            out += c;
            continue;
        }
        const char code = text[++i];
        switch (code) {
            case 'P':
            case 'X':
                out += '\n';
                break;
            case '~':
                out += ' ';
                break;
            case '\\':
            case '{':
            case '}':
                out += code;
                break;
            case 'L':
            case 'l':
            case 'O':
            case 'o':
            case 'K':
            case 'k':
                break;
            case 'S': {
                // Stacked text: "\Snum^den;" shows as "num/den".
                const std::size_t end = text.find(';', i + 1);
                std::string stacked(text.substr(
                    i + 1, end == std::string_view::npos ? std::string_view::npos : end - i - 1));
                for (char& s : stacked) {
                    if (s == '^' || s == '#')
                        s = '/';
                }
                out += stacked;
                i = end == std::string_view::npos ? text.size() : end;
                break;
            }
            default: {
                // \f...; \H...; \W...; \Q...; \T...; \A...; \C...; \c...; \p...;
                const std::size_t end = text.find(';', i + 1);
                i = end == std::string_view::npos ? text.size() : end;
                break;
            }
        }
    }
    return out;
}

}  // namespace

bool isJustifyOption(std::string_view option) {
    return parseJustifyOption(option).has_value();
}

std::filesystem::path backupPathFor(const std::filesystem::path& drawingFile) {
    auto backup = drawingFile;
    backup.replace_extension(".bak");
    return backup;
}

struct Drawing::Impl {
    std::string source;
    std::vector<Record> records;
    std::vector<Container> containers;
    std::vector<std::string> editedBytes;
    Interner types;
    Interner layers;
    mutable std::vector<std::optional<std::string>> decodedLayers;
    HeaderValues header;
    std::uint32_t headerRecord = kNone;
    std::uint32_t entitiesContainer = kNone;
    std::uint32_t head = kNone;
    std::uint32_t tail = kNone;
    // Above every handle of the drawing. The largest value is never given out: $HANDSEED must
    // be able to name the handle after the last one used.
    std::uint64_t nextHandle = 1;
    bool handseedChanged = false;
    bool modified = false;
    std::vector<std::uint32_t> created;  // copies, oldest first
    std::unique_ptr<TextCodec> codec;
    std::optional<FileOrigin> origin;  // the file it was read from or last saved to

    // Built on the first erase: which records point at a handle.
    bool referencesIndexed = false;
    std::unordered_map<std::uint64_t, std::vector<std::uint32_t>> referrers;

    // ---- loading ----
    void parse();
    void finishHeader();

    // ---- access ----
    std::string_view bytesOf(std::uint32_t index) const {
        const Record& record = records[index];
        if (record.edited >= 0)
            return editedBytes[static_cast<std::size_t>(record.edited)];
        return std::string_view(source).substr(record.begin, record.end - record.begin);
    }
    void setBytes(std::uint32_t index, std::string bytes) {
        Record& record = records[index];
        if (record.edited >= 0) {
            editedBytes[static_cast<std::size_t>(record.edited)] = std::move(bytes);
        } else {
            record.edited = static_cast<std::int32_t>(editedBytes.size());
            editedBytes.push_back(std::move(bytes));
        }
    }
    std::uint32_t indexOf(EntityId id) const {
        if (id == 0 || id > records.size())
            return kNone;
        const auto index = static_cast<std::uint32_t>(id - 1);
        const Record& record = records[index];
        if ((record.flags & kErased) || record.kind != RecordKind::Entity)
            return kNone;
        return index;
    }
    std::uint32_t requireEntity(EntityId id) const {
        const std::uint32_t index = indexOf(id);
        if (index == kNone) {
            throw DxfError(DxfError::Kind::NoSuchEntity, "对象不存在或已被删除");
        }
        return index;
    }
    std::uint32_t requireText(EntityId id) const {
        const std::uint32_t index = requireEntity(id);
        const std::string& type = types.name(records[index].type);
        if (type != "TEXT" && type != "ATTRIB" && type != "ATTDEF") {
            throw DxfError(DxfError::Kind::NoSuchEntity, "对象不是单行文字（" + type + "）");
        }
        return index;
    }
    Space spaceOf(const Record& record) const {
        if (record.container == kNone)
            return Space::Block;
        const Container& container = containers[record.container];
        if (record.container == entitiesContainer) {
            return (record.flags & kPaperSpace) ? Space::Paper : Space::Model;
        }
        return container.space;
    }
    const std::string& layerName(const Record& record) const {
        static const std::string kDefaultLayer = "0";
        if (record.layer == kNone)
            return kDefaultLayer;
        if (decodedLayers.size() < layers.size())
            decodedLayers.resize(layers.size());
        auto& decoded = decodedLayers[record.layer];
        if (!decoded)
            decoded = codec->decode(trimmed(layers.name(record.layer)));
        return *decoded;
    }
    bool usesSubclassMarkers() const { return header.version >= "AC1015"; }

    // ---- editing ----
    void link(std::uint32_t index, std::uint32_t before);
    void unlink(std::uint32_t index);
    std::vector<std::uint32_t> withFollowers(std::uint32_t index) const;
    std::uint32_t appendRecord(Record record, std::string bytes, std::uint32_t before);
    void indexReferences();
    void indexRecordReferences(std::uint32_t index);
    void eraseRecords(const std::vector<std::uint32_t>& group);
    void removeReferencesTo(std::uint64_t handle, std::vector<std::uint64_t>& pending);
    TextPlacement placementOf(const RecordEditor& editor) const;
    void writePlacement(RecordEditor& editor, const TextPlacement& before,
                        const TextPlacement& after) const;

    // ---- writing ----
    template <typename Sink>
    void write(Sink&& sink) const;

    EntityInfo info(std::uint32_t index) const;
    std::uint32_t findBlock(std::string_view name) const;
};

// ---------------------------------------------------------------------------------------------
// Loading

void Drawing::Impl::parse() {
    refuseOtherFormats(source);
    std::size_t start = 0;
    if (source.compare(0, 3, "\xEF\xBB\xBF") == 0)
        start = 3;
    TagCursor cursor(source, start);
    records.reserve(source.size() / 96);

    enum class Section { None, Header, Blocks, Entities, Objects, Other };
    Section section = Section::None;
    bool sectionNamePending = false;
    std::uint32_t openBlock = kNone;
    bool blockNamePending = false;
    std::uint32_t lastMain = kNone;
    bool sawSection = false;
    bool sawEof = false;
    std::string_view headerVariable;
    std::uint64_t maxHandle = 0;
    bool anyHandle = false;
    std::uint32_t current = kNone;

    const auto closeCurrent = [&](std::size_t end) {
        if (current != kNone)
            records[current].end = end;
    };
    const auto sourceLine = [&](std::size_t offset) {
        return "图形文件第 " + std::to_string(lineNumberAt(source, offset)) + " 行";
    };

    RawTag tag;
    while (true) {
        if (!cursor.next(tag))
            break;
        if (tag.code == 0) {
            closeCurrent(tag.begin);
            if (current == kNone && tag.begin > 0) {
                Record prefix;
                prefix.kind = RecordKind::Prefix;
                prefix.end = tag.begin;
                records.push_back(prefix);
            }
            const std::string_view type = trimmed(tag.value);
            Record record;
            record.begin = tag.begin;
            record.type = types.intern(type);
            if (type == "EOF") {
                if (section != Section::None) {
                    formatError(sourceLine(tag.begin) + "：节没有以 ENDSEC 结束，文件不完整");
                }
                record.kind = RecordKind::Eof;
                record.end = source.size();
                records.push_back(record);
                current = kNone;
                sawEof = true;
                break;
            }
            if (type == "SECTION") {
                if (section != Section::None) {
                    formatError(sourceLine(tag.begin) + "：上一节没有以 ENDSEC 结束");
                }
                record.kind = RecordKind::Section;
                section = Section::Other;
                sectionNamePending = true;
                sawSection = true;
            } else if (section == Section::None) {
                if (!sawSection)
                    formatError("不是 DXF 图形文件（开头没有 SECTION）");
                // Stray records between sections (a doubled ENDSEC, say) are kept as they are;
                // other readers skip them too.
                record.kind = RecordKind::Other;
            } else if (type == "ENDSEC") {
                if (openBlock != kNone) {
                    formatError(sourceLine(tag.begin) + "：块定义没有以 ENDBLK 结束");
                }
                record.kind = RecordKind::SectionEnd;
                if (section == Section::Entities) {
                    containers[entitiesContainer].terminator =
                        static_cast<std::uint32_t>(records.size());
                }
                section = Section::None;
                lastMain = kNone;
            } else if (section == Section::Blocks && type == "BLOCK") {
                if (openBlock != kNone) {
                    formatError(sourceLine(tag.begin) + "：块定义没有以 ENDBLK 结束");
                }
                record.kind = RecordKind::BlockBegin;
                containers.push_back(
                    Container{Space::Block, "", kNone, static_cast<std::uint32_t>(records.size())});
                openBlock = static_cast<std::uint32_t>(containers.size() - 1);
                blockNamePending = true;
                lastMain = kNone;
            } else if (section == Section::Blocks && type == "ENDBLK") {
                if (openBlock == kNone)
                    formatError(sourceLine(tag.begin) + "：多余的 ENDBLK");
                record.kind = RecordKind::BlockEnd;
                containers[openBlock].terminator = static_cast<std::uint32_t>(records.size());
                openBlock = kNone;
                lastMain = kNone;
            } else if (section == Section::Entities || section == Section::Blocks) {
                if (section == Section::Blocks && openBlock == kNone) {
                    formatError(sourceLine(tag.begin) + "：块定义之外出现了实体“" +
                                std::string(type.substr(0, 40)) + "”");
                }
                record.container = section == Section::Blocks ? openBlock : entitiesContainer;
                const bool follower = type == "VERTEX" || type == "ATTRIB" || type == "SEQEND";
                if (follower && lastMain != kNone) {
                    record.kind = RecordKind::Follower;
                    record.main = lastMain;
                    if (type == "SEQEND")
                        lastMain = kNone;
                } else {
                    record.kind = RecordKind::Entity;
                    lastMain = static_cast<std::uint32_t>(records.size());
                }
            } else if (section == Section::Objects) {
                record.kind = RecordKind::Object;
            } else {
                record.kind = RecordKind::Other;
            }
            current = static_cast<std::uint32_t>(records.size());
            records.push_back(record);
            continue;
        }

        if (current == kNone)
            continue;  // comments before the first section
        Record& record = records[current];
        switch (tag.code) {
            case 2:
                if (sectionNamePending && record.kind == RecordKind::Section) {
                    sectionNamePending = false;
                    const std::string_view name = trimmed(tag.value);
                    if (name == "HEADER") {
                        section = Section::Header;
                        headerRecord = current;
                    } else if (name == "BLOCKS") {
                        section = Section::Blocks;
                    } else if (name == "ENTITIES") {
                        section = Section::Entities;
                        if (entitiesContainer == kNone) {
                            containers.push_back(Container{Space::Model, "", kNone, kNone});
                            entitiesContainer = static_cast<std::uint32_t>(containers.size() - 1);
                        } else {
                            formatError(sourceLine(tag.begin) + "：ENTITIES 节重复出现");
                        }
                    } else if (name == "OBJECTS") {
                        section = Section::Objects;
                    }
                } else if (blockNamePending && record.kind == RecordKind::BlockBegin) {
                    blockNamePending = false;
                    Container& block = containers[openBlock];
                    block.blockName = std::string(trimmed(tag.value));
                    if (startsWithIgnoreCase(block.blockName, "*Paper_Space")) {
                        block.space = Space::Paper;
                    } else if (startsWithIgnoreCase(block.blockName, "*Model_Space")) {
                        block.space = Space::Model;
                    }
                }
                break;
            case 5:
            case 105:
                if (!(record.flags & kHasHandle) && record.kind != RecordKind::Section &&
                    (tag.code == 5) != (types.name(record.type) == "DIMSTYLE")) {
                    if (const auto handle = parseHandle(tag.value)) {
                        record.handle = *handle;
                        record.flags |= kHasHandle;
                        maxHandle = std::max(maxHandle, *handle);
                        anyHandle = true;
                    }
                }
                break;
            case 8:
                if (record.layer == kNone &&
                    (record.kind == RecordKind::Entity || record.kind == RecordKind::Follower)) {
                    record.layer = layers.intern(tag.value);
                }
                break;
            case 67:
                if (trimmed(tag.value) == "1")
                    record.flags |= kPaperSpace;
                break;
            case 9:
                if (current == headerRecord)
                    headerVariable = trimmed(tag.value);
                break;
            default:
                break;
        }
        if (current == headerRecord && tag.code != 9 && !headerVariable.empty()) {
            const std::string_view value = trimmed(tag.value);
            if (headerVariable == "$ACADVER" && tag.code == 1) {
                header.version = std::string(value);
            } else if (headerVariable == "$DWGCODEPAGE" && tag.code == 3) {
                header.codePage = std::string(value);
            } else if (headerVariable == "$HANDSEED" && tag.code == 5) {
                header.handseed = parseHandle(value);
                header.handseedBegin = tag.valueBegin;
                header.handseedEnd = tag.valueBegin + tag.value.size();
                header.handseedSeen = true;
            } else if (headerVariable == "$EXTMIN" || headerVariable == "$EXTMAX") {
                auto& point = headerVariable == "$EXTMIN" ? header.extMin : header.extMax;
                if (!point)
                    point = Point{};
                const double number = numberOr(value, std::numeric_limits<double>::quiet_NaN());
                if (tag.code == 10)
                    point->x = number;
                if (tag.code == 20)
                    point->y = number;
                if (tag.code == 30)
                    point->z = number;
            }
        }
    }
    if (!sawSection)
        formatError("不是 DXF 图形文件（没有找到任何节）");
    if (section != Section::None)
        formatError("图形文件不完整：最后一节没有以 ENDSEC 结束");
    // A drawing cut short after a section is still a damaged drawing: saving it would pass
    // the loss on.
    if (!sawEof)
        formatError("图形文件不完整：没有以 EOF 结束");

    // Link the records in file order.
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        records[i].prev = i == 0 ? kNone : i - 1;
        records[i].next = i + 1 < records.size() ? i + 1 : kNone;
    }
    head = records.empty() ? kNone : 0;
    tail = records.empty() ? kNone : static_cast<std::uint32_t>(records.size() - 1);
    constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t aboveAll = !anyHandle ? 1 : maxHandle == kLast ? kLast : maxHandle + 1;
    // A seed further up is kept unless it leaves no handle to give out.
    const std::uint64_t seed = header.handseed.value_or(0);
    nextHandle = seed > aboveAll && seed != kLast ? seed : aboveAll;
    finishHeader();
}

void Drawing::Impl::finishHeader() {
    if (header.version.empty())
        header.version = "AC1009";
    std::string encoding;
    if (header.version >= "AC1021") {
        encoding = "UTF-8";
    } else {
        if (header.codePage.empty())
            header.codePage = "ANSI_1252";
        encoding = iconvNameForCodePage(header.codePage);
    }
    codec = std::make_unique<TextCodec>(encoding);
}

// ---------------------------------------------------------------------------------------------
// Writing

template <typename Sink>
void Drawing::Impl::write(Sink&& sink) const {
    // Untouched neighbours are handed over as one run of the source.
    std::size_t runBegin = 0;
    std::size_t runEnd = 0;
    const auto flush = [&] {
        if (runEnd > runBegin)
            sink(std::string_view(source).substr(runBegin, runEnd - runBegin));
        runBegin = runEnd = 0;
    };
    for (std::uint32_t i = head; i != kNone; i = records[i].next) {
        const Record& record = records[i];
        if (record.edited >= 0) {
            flush();
            sink(std::string_view(editedBytes[static_cast<std::size_t>(record.edited)]));
        } else if (i == headerRecord && handseedChanged && header.handseedSeen) {
            flush();
            const std::string_view all(source);
            sink(all.substr(record.begin, header.handseedBegin - record.begin));
            const std::string seed = formatHandle(nextHandle);
            sink(std::string_view(seed));
            sink(all.substr(header.handseedEnd, record.end - header.handseedEnd));
        } else if (runEnd == record.begin && runEnd > runBegin) {
            runEnd = record.end;
        } else {
            flush();
            runBegin = record.begin;
            runEnd = record.end;
        }
    }
    flush();
}

// ---------------------------------------------------------------------------------------------
// Editing helpers

void Drawing::Impl::link(std::uint32_t index, std::uint32_t before) {
    Record& record = records[index];
    record.next = before;
    record.prev = before == kNone ? tail : records[before].prev;
    if (record.prev != kNone) {
        records[record.prev].next = index;
    } else {
        head = index;
    }
    if (before != kNone) {
        records[before].prev = index;
    } else {
        tail = index;
    }
}

void Drawing::Impl::unlink(std::uint32_t index) {
    Record& record = records[index];
    if (record.prev != kNone) {
        records[record.prev].next = record.next;
    } else {
        head = record.next;
    }
    if (record.next != kNone) {
        records[record.next].prev = record.prev;
    } else {
        tail = record.prev;
    }
    record.prev = record.next = kNone;
    record.flags |= kErased;
}

std::vector<std::uint32_t> Drawing::Impl::withFollowers(std::uint32_t index) const {
    std::vector<std::uint32_t> group{index};
    for (std::uint32_t i = records[index].next; i != kNone; i = records[i].next) {
        if (records[i].kind != RecordKind::Follower || records[i].main != index)
            break;
        group.push_back(i);
    }
    return group;
}

std::uint32_t Drawing::Impl::appendRecord(Record record, std::string bytes, std::uint32_t before) {
    record.edited = static_cast<std::int32_t>(editedBytes.size());
    editedBytes.push_back(std::move(bytes));
    records.push_back(record);
    const auto index = static_cast<std::uint32_t>(records.size() - 1);
    link(index, before);
    return index;
}

void Drawing::Impl::indexRecordReferences(std::uint32_t index) {
    const Record& record = records[index];
    const bool entity = record.kind == RecordKind::Entity || record.kind == RecordKind::Follower;
    TagCursor cursor(bytesOf(index));
    RawTag tag;
    bool ownerSkipped = !entity;
    int groupDepth = 0;
    while (cursor.next(tag)) {
        if (tag.code == 102) {
            const std::string_view value = trimmed(tag.value);
            if (!value.empty() && value.front() == '{')
                ++groupDepth;
            if (value == "}" && groupDepth > 0)
                --groupDepth;
            continue;
        }
        if (!isPointerCode(tag.code))
            continue;
        if (!ownerSkipped && tag.code == 330 && groupDepth == 0) {
            ownerSkipped = true;  // entities' owners are block records, never erased here
            continue;
        }
        if (const auto target = parseHandle(tag.value)) {
            auto& list = referrers[*target];
            if (list.empty() || list.back() != index)
                list.push_back(index);
        }
    }
}

void Drawing::Impl::indexReferences() {
    if (referencesIndexed)
        return;
    for (std::uint32_t i = head; i != kNone; i = records[i].next) {
        const Record& record = records[i];
        if (record.kind == RecordKind::Eof || record.kind == RecordKind::Prefix ||
            i == headerRecord) {
            continue;
        }
        indexRecordReferences(i);
    }
    referencesIndexed = true;
}

void Drawing::Impl::eraseRecords(const std::vector<std::uint32_t>& group) {
    // A worklist rather than recursion: ownership chains in a file can be long.
    std::vector<std::uint64_t> pending;
    for (const std::uint32_t index : group) {
        if (records[index].flags & kErased)
            continue;
        unlink(index);
        if (records[index].flags & kHasHandle)
            pending.push_back(records[index].handle);
    }
    while (!pending.empty()) {
        const std::uint64_t handle = pending.back();
        pending.pop_back();
        removeReferencesTo(handle, pending);
    }
}

// Takes every pointer to `handle` out of the records that hold one. An object owned by the
// erased one (its extension dictionary, say) goes with it.
void Drawing::Impl::removeReferencesTo(std::uint64_t handle, std::vector<std::uint64_t>& pending) {
    const auto found = referrers.find(handle);
    if (found == referrers.end())
        return;
    const std::vector<std::uint32_t> holders = std::move(found->second);
    referrers.erase(found);
    const auto pointsAtHandle = [&](const RecordEditor::Tag& tag) {
        const auto target = parseHandle(tag.value);
        return isPointerCode(tag.code) && target && *target == handle;
    };
    for (const std::uint32_t index : holders) {
        if (records[index].flags & kErased)
            continue;
        RecordEditor editor(bytesOf(index));
        auto& tags = editor.tags();
        // Only objects go with an erased owner and lose their owner pointer. Entities, blocks
        // and table entries keep theirs: in a damaged drawing whose handles repeat, the erased
        // entity may share its handle with a block record.
        const bool keepsOwner = records[index].kind != RecordKind::Object;
        // The owner is the first 330 outside the 102 groups.
        int depth = 0;
        bool ownedByErased = false;
        for (const auto& tag : tags) {
            if (tag.code == 102) {
                const std::string_view value = trimmed(tag.value);
                if (!value.empty() && value.front() == '{')
                    ++depth;
                if (value == "}" && depth > 0)
                    --depth;
            } else if (tag.code == 330 && depth == 0) {
                ownedByErased = pointsAtHandle(tag);
                break;
            }
        }
        if (ownedByErased && !keepsOwner) {
            unlink(index);
            if (records[index].flags & kHasHandle)
                pending.push_back(records[index].handle);
            continue;
        }
        bool changed = false;
        bool ownerPassed = !keepsOwner;
        depth = 0;
        std::size_t groupStart = RecordEditor::npos;
        for (std::size_t i = 0; i < tags.size();) {
            const auto& tag = tags[i];
            if (tag.code == 102) {
                const std::string_view value = trimmed(tag.value);
                if (!value.empty() && value.front() == '{') {
                    ++depth;
                    groupStart = i;
                } else if (value == "}" && depth > 0) {
                    --depth;
                    if (groupStart != RecordEditor::npos && i == groupStart + 1) {
                        tags.erase(tags.begin() + static_cast<std::ptrdiff_t>(groupStart),
                                   tags.begin() + static_cast<std::ptrdiff_t>(i + 1));
                        i = groupStart;
                        groupStart = RecordEditor::npos;
                        changed = true;
                        continue;
                    }
                    groupStart = RecordEditor::npos;
                }
                ++i;
                continue;
            }
            if (!ownerPassed && tag.code == 330 && depth == 0) {
                ownerPassed = true;
                ++i;
                continue;
            }
            if (!pointsAtHandle(tag)) {
                ++i;
                continue;
            }
            changed = true;
            if (depth == 0 && i > 0 && tags[i - 1].code == 3 &&
                (tag.code == 350 || tag.code == 360)) {
                editor.erase(i - 1, 2);  // a dictionary entry: name and pointer
                --i;
            } else if (tag.code == 331 && i + 1 < tags.size() && tags[i + 1].code == 5) {
                editor.erase(i, 2);  // a draw-order entry: entity and sort handle
            } else {
                if (tag.code == 330 && depth == 0) {
                    // A hatch boundary path counts its source objects (97) before listing
                    // them; the count must follow.
                    for (std::size_t back = i; back-- > 0;) {
                        if (tags[back].code == 92 || tags[back].code == 0)
                            break;
                        if (tags[back].code == 97) {
                            const auto count = parseNumber(tags[back].value);
                            if (count && *count >= 1)
                                tags[back].value = std::to_string(static_cast<long>(*count) - 1);
                            break;
                        }
                    }
                }
                editor.erase(i);
            }
        }
        if (changed)
            setBytes(index, editor.serialize());
    }
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

// Sets a tag's value, or inserts it at `insertAt` when the record lacks it. Returns its index.
std::size_t setOrInsert(RecordEditor& editor, int code, std::string value, std::size_t insertAt) {
    const std::size_t at = editor.find(code);
    if (at != RecordEditor::npos) {
        editor.tags()[at].value = std::move(value);
        return at;
    }
    editor.insert(insertAt, code, std::move(value));
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
    const bool hasZ = editor.find(30) != RecordEditor::npos;

    const Justification& j = after.justification;
    const bool justified = j.horizontal != 0 || j.vertical != 0;
    std::size_t position = afterTextTags(editor);
    if (j.horizontal != before.justification.horizontal || editor.find(72) != RecordEditor::npos) {
        if (j.horizontal != 0 || editor.find(72) != RecordEditor::npos) {
            position = setOrInsert(editor, 72, std::to_string(j.horizontal), position) + 1;
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
    if (j.vertical != 0 || editor.find(73) != RecordEditor::npos) {
        const std::size_t existing = editor.find(73);
        if (existing != RecordEditor::npos) {
            tags[existing].value = std::to_string(j.vertical);
        } else if (usesSubclassMarkers() && editor.find(100) != RecordEditor::npos) {
            // The vertical alignment lives in the second AcDbText subclass.
            std::size_t second = RecordEditor::npos;
            bool seenFirst = false;
            for (std::size_t i = 0; i < tags.size(); ++i) {
                if (tags[i].code == 100 && trimmed(tags[i].value) == "AcDbText") {
                    if (seenFirst) {
                        second = i;
                        break;
                    }
                    seenFirst = true;
                }
            }
            if (second == RecordEditor::npos) {
                std::size_t end = tags.size();
                for (std::size_t i = 0; i < tags.size(); ++i) {
                    if (tags[i].code >= 1000) {
                        end = i;
                        break;
                    }
                }
                editor.insert(end, 100, "AcDbText");
                second = end;
            }
            editor.insert(second + 1, 73, std::to_string(j.vertical));
        } else {
            std::size_t at = editor.find(11);
            if (at != RecordEditor::npos) {
                at += 1;
                while (at < tags.size() && (tags[at].code == 21 || tags[at].code == 31))
                    ++at;
            } else {
                at = afterTextTags(editor);
            }
            editor.insert(at, 73, std::to_string(j.vertical));
        }
    }
}

EntityInfo Drawing::Impl::info(std::uint32_t index) const {
    const Record& record = records[index];
    EntityInfo result;
    result.id = index + 1;
    result.type = types.name(record.type);
    result.layer = layerName(record);
    if (record.flags & kHasHandle)
        result.handle = formatHandle(record.handle);
    result.space = spaceOf(record);
    if (record.container != kNone && record.container != entitiesContainer) {
        result.block = codec->decode(containers[record.container].blockName);
    }
    const EntityTags tags(bytesOf(index));
    result.color = static_cast<int>(tags.number(62, 256));
    const std::string& type = result.type;
    const auto point = [&](int code) { return tags.point(code).value_or(Point{}); };
    if (type == "LINE") {
        result.geometry = LineGeometry{point(10), point(11)};
    } else if (type == "CIRCLE") {
        result.geometry = CircleGeometry{point(10), tags.number(40, 0)};
    } else if (type == "ARC") {
        result.geometry =
            ArcGeometry{point(10), tags.number(40, 0), tags.number(50, 0), tags.number(51, 360)};
    } else if (type == "LWPOLYLINE") {
        PolylineGeometry polyline;
        polyline.closed = (static_cast<int>(tags.number(70, 0)) & 1) != 0;
        const double elevation = tags.number(38, 0);
        for (const auto& [code, value] : tags.tags) {
            if (code == 10) {
                polyline.vertices.push_back({numberOr(value, 0), 0, elevation});
                polyline.bulges.push_back(0);
            } else if (code == 20 && !polyline.vertices.empty()) {
                polyline.vertices.back().y = numberOr(value, 0);
            } else if (code == 42 && !polyline.bulges.empty()) {
                polyline.bulges.back() = numberOr(value, 0);
            }
        }
        result.geometry = std::move(polyline);
    } else if (type == "POLYLINE") {
        PolylineGeometry polyline;
        polyline.closed = (static_cast<int>(tags.number(70, 0)) & 1) != 0;
        for (const std::uint32_t follower : withFollowers(index)) {
            if (follower == index || types.name(records[follower].type) != "VERTEX")
                continue;
            const EntityTags vertex(bytesOf(follower));
            if (static_cast<int>(vertex.number(70, 0)) & 16)
                continue;  // spline frame point
            polyline.vertices.push_back(vertex.point(10).value_or(Point{}));
            polyline.bulges.push_back(vertex.number(42, 0));
        }
        result.geometry = std::move(polyline);
    } else if (type == "TEXT" || type == "ATTRIB" || type == "ATTDEF") {
        TextGeometry text;
        text.insertion = point(10);
        text.alignment = tags.point(11);
        text.height = tags.number(40, 0);
        text.rotation = tags.number(50, 0);
        text.widthFactor = tags.number(41, 1);
        text.oblique = tags.number(51, 0);
        text.horizontal = static_cast<int>(tags.number(72, 0));
        text.vertical = static_cast<int>(tags.number(type == "TEXT" ? 73 : 74, 0));
        text.text = codec->decode(tags.first(1).value_or(""));
        result.geometry = std::move(text);
    } else if (type == "MTEXT") {
        MTextGeometry mtext;
        mtext.insertion = point(10);
        mtext.height = tags.number(40, 0);
        mtext.width = tags.number(41, 0);
        mtext.attachment = static_cast<int>(tags.number(71, 1));
        if (tags.first(50)) {
            mtext.rotation = tags.number(50, 0);
        } else if (const auto direction = tags.point(11)) {
            mtext.rotation =
                std::atan2(direction->y, direction->x) * 180.0 / 3.14159265358979323846;
        }
        std::string raw;
        for (const auto& [code, value] : tags.tags) {
            if (code == 3)
                raw += value;
        }
        raw += tags.first(1).value_or("");
        mtext.plainText = plainMText(codec->decode(raw));
        result.geometry = std::move(mtext);
    } else if (type == "INSERT") {
        InsertGeometry insert;
        insert.blockName = codec->decode(trimmed(tags.first(2).value_or("")));
        insert.insertion = point(10);
        insert.xScale = tags.number(41, 1);
        insert.yScale = tags.number(42, 1);
        insert.zScale = tags.number(43, 1);
        insert.rotation = tags.number(50, 0);
        result.geometry = std::move(insert);
    }
    return result;
}

std::uint32_t Drawing::Impl::findBlock(std::string_view name) const {
    for (std::uint32_t c = 0; c < containers.size(); ++c) {
        if (c == entitiesContainer)
            continue;
        if (equalsIgnoreCase(containers[c].blockName, name) ||
            equalsIgnoreCase(codec->decode(containers[c].blockName), name)) {
            return c;
        }
    }
    return kNone;
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
    FileIdentity identity;
    std::string bytes = readFileWithIdentity(file, identity);
    try {
        Drawing drawing = fromBytes(std::move(bytes));
        drawing.impl_->origin = FileOrigin{resolvedPath(file), identity};
        return drawing;
    } catch (const DxfError& e) {
        if (e.kind() != DxfError::Kind::Format)
            throw;
        throw DxfError(DxfError::Kind::Format, "“" + file.filename().string() + "”：" + e.what());
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
    const std::string encoded = d.codec->encode(utf8);
    const std::size_t at = editor.find(1);
    if (at != RecordEditor::npos) {
        editor.tags()[at].value = encoded;
    } else {
        const std::size_t height = editor.find(40);
        editor.insert(height == RecordEditor::npos ? editor.tags().size() : height + 1, 1, encoded);
    }
    if (d.types.name(d.records[index].type) == "TEXT") {
        const TextPlacement after = keepAlignmentPoint(before, textWidthInHeights(utf8));
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
        // Extension dictionaries and reactors belong to the original only.
        for (std::size_t i = 0; i < tags.size();) {
            const std::string_view value = trimmed(tags[i].value);
            if (tags[i].code == 102 &&
                (value == "{ACAD_XDICTIONARY" || value == "{ACAD_REACTORS")) {
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

std::vector<EntityInfo> Drawing::entities(Space space) const {
    const Impl& d = *impl_;
    std::vector<EntityInfo> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Entity && d.spaceOf(record) == space &&
            space != Space::Block) {
            result.push_back(d.info(i));
        }
    }
    return result;
}

std::vector<EntityInfo> Drawing::blockEntities(std::string_view blockName) const {
    const Impl& d = *impl_;
    std::vector<EntityInfo> result;
    const std::uint32_t wanted = d.findBlock(blockName);
    if (wanted == kNone)
        return result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        if (record.kind == RecordKind::Entity && record.container == wanted)
            result.push_back(d.info(i));
    }
    return result;
}

std::optional<Point> Drawing::blockBasePoint(std::string_view blockName) const {
    const Impl& d = *impl_;
    const std::uint32_t block = d.findBlock(blockName);
    if (block == kNone || d.containers[block].begin == kNone)
        return std::nullopt;
    return EntityTags(d.bytesOf(d.containers[block].begin)).point(10).value_or(Point{});
}

std::vector<LayerInfo> Drawing::layers() const {
    const Impl& d = *impl_;
    std::vector<LayerInfo> result;
    for (std::uint32_t i = d.head; i != kNone; i = d.records[i].next) {
        const Record& record = d.records[i];
        // Table entries are the only "Other" records of type LAYER.
        if (record.kind != RecordKind::Other || d.types.name(record.type) != "LAYER")
            continue;
        const EntityTags tags(d.bytesOf(i));
        LayerInfo layer;
        layer.name = d.codec->decode(trimmed(tags.first(2).value_or("")));
        const int color = static_cast<int>(tags.number(62, 7));
        layer.off = color < 0;
        layer.color = std::abs(color);
        if (layer.color < 1 || layer.color > 255)
            layer.color = 7;
        result.push_back(std::move(layer));
    }
    return result;
}

std::optional<Extents> Drawing::extents() const {
    const Impl& d = *impl_;
    const auto sane = [](const std::optional<Point>& p) {
        return p && std::isfinite(p->x) && std::isfinite(p->y) && std::fabs(p->x) < 1e19 &&
               std::fabs(p->y) < 1e19;
    };
    if (sane(d.header.extMin) && sane(d.header.extMax) &&
        d.header.extMin->x <= d.header.extMax->x && d.header.extMin->y <= d.header.extMax->y) {
        return Extents{*d.header.extMin, *d.header.extMax};
    }
    std::optional<Extents> box;
    const auto add = [&](const Point& p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        if (!box) {
            box = Extents{p, p};
            return;
        }
        box->min.x = std::min(box->min.x, p.x);
        box->min.y = std::min(box->min.y, p.y);
        box->max.x = std::max(box->max.x, p.x);
        box->max.y = std::max(box->max.y, p.y);
    };
    for (const EntityInfo& e : entities(Space::Model)) {
        std::visit(
            [&](const auto& g) {
                using G = std::decay_t<decltype(g)>;
                if constexpr (std::is_same_v<G, LineGeometry>) {
                    add(g.start);
                    add(g.end);
                } else if constexpr (std::is_same_v<G, PolylineGeometry>) {
                    for (const Point& p : g.vertices)
                        add(p);
                } else if constexpr (std::is_same_v<G, CircleGeometry> ||
                                     std::is_same_v<G, ArcGeometry>) {
                    add({g.center.x - g.radius, g.center.y - g.radius, 0});
                    add({g.center.x + g.radius, g.center.y + g.radius, 0});
                } else if constexpr (std::is_same_v<G, TextGeometry>) {
                    add(g.insertion);
                    add({g.insertion.x, g.insertion.y + g.height, 0});
                } else if constexpr (std::is_same_v<G, MTextGeometry> ||
                                     std::is_same_v<G, InsertGeometry>) {
                    add(g.insertion);
                }
            },
            e.geometry);
    }
    return box;
}

}  // namespace quorvel::dxf
