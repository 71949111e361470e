#pragma once
// Inside the drawing engine: the record store that Drawing's layers share. A drawing is its
// source bytes and a list of records (one per code-0 tag and what follows it) linked in file
// order; an edited record keeps its new bytes beside the source, the rest are written from it.
//
// records.cpp      loading the records, writing them back, linking them
// references.cpp   who points at a handle, and taking those pointers out on erase
// entityviews.cpp  geometry and tables for the viewer
// atomicfile.cpp   reading and replacing the file, with its backup
// drawing.cpp      the public face: selection, text edits, copy and erase

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "dxf/atomicfile.h"
#include "dxf/codepage.h"
#include "dxf/drawing.h"
#include "dxf/tags.h"
#include "dxf/textlayout.h"

namespace quorvel::dxf {

inline constexpr std::uint32_t kNone = std::numeric_limits<std::uint32_t>::max();

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

// A path for messages, as UTF-8. path::string() would throw on Windows for names outside the
// ANSI code page (Chinese names on a non-Chinese system); on POSIX both give the same bytes.
inline std::string shownPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
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

inline bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

[[noreturn]] inline void formatError(const std::string& message) {
    throw DxfError(DxfError::Kind::Format, message);
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

inline double numberOr(std::string_view value, double fallback) {
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
    class Loader;  // records.cpp
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

}  // namespace quorvel::dxf
