// The record store: loading a drawing's bytes into records, writing them back, linking them.
#include <algorithm>
#include <cctype>
#include <limits>

#include "dxf/drawingimpl.h"
#include "dxf/groupcodes.h"

namespace quorvel::dxf {

namespace {

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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Loading

// Reads the source tag by tag into records, keeping track of the section and block definition
// each record belongs to and of the header values the drawing needs.
class Drawing::Impl::Loader {
public:
    explicit Loader(Impl& drawing) : drawing_(drawing) {}

    void readRecords();
    void requireComplete() const;
    std::uint64_t firstFreeHandle() const;

private:
    enum class Section { None, Header, Blocks, Entities, Objects, Other };

    bool startRecord(const RawTag& tag);
    void classify(std::string_view type, std::size_t begin, Record& record);
    void openSection();
    void closeSection(std::size_t begin);
    void openBlock(std::size_t begin);
    void closeBlock(std::size_t begin);
    void classifyEntity(std::string_view type, std::size_t begin, Record& record);
    void readTag(const RawTag& tag);
    void readName(const RawTag& tag, Record& record);
    void nameSection(std::string_view name, std::size_t begin);
    void nameBlock(std::string_view name);
    void readHandle(const RawTag& tag, Record& record);
    void readHeaderValue(const RawTag& tag);
    std::string sourceLine(std::size_t offset) const;
    std::uint32_t nextIndex() const { return static_cast<std::uint32_t>(drawing_.records.size()); }

    Impl& drawing_;
    Section section_ = Section::None;
    bool sectionNamePending_ = false;
    std::uint32_t openBlock_ = kNone;
    bool blockNamePending_ = false;
    std::uint32_t lastMain_ = kNone;
    bool sawSection_ = false;
    bool sawEof_ = false;
    std::string_view headerVariable_;
    std::uint64_t maxHandle_ = 0;
    bool anyHandle_ = false;
    std::uint32_t current_ = kNone;
};

void Drawing::Impl::Loader::readRecords() {
    const std::string& source = drawing_.source;
    const std::size_t start = source.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    TagCursor cursor(source, start);
    RawTag tag;
    while (cursor.next(tag)) {
        if (tag.code == code::kType) {
            if (!startRecord(tag))
                return;
        } else if (current_ != kNone) {  // else a comment before the first section
            readTag(tag);
        }
    }
}

// A code-0 tag ends the record before it and begins the next. False at EOF.
bool Drawing::Impl::Loader::startRecord(const RawTag& tag) {
    if (current_ != kNone) {
        drawing_.records[current_].end = tag.begin;
    } else if (tag.begin > 0) {
        Record prefix;
        prefix.kind = RecordKind::Prefix;
        prefix.end = tag.begin;
        drawing_.records.push_back(prefix);
    }
    const std::string_view type = trimmed(tag.value);
    Record record;
    record.begin = tag.begin;
    record.type = drawing_.types.intern(type);
    if (type == "EOF") {
        if (section_ != Section::None)
            formatError(sourceLine(tag.begin) + "：节没有以 ENDSEC 结束，文件不完整");
        record.kind = RecordKind::Eof;
        record.end = drawing_.source.size();
        drawing_.records.push_back(record);
        current_ = kNone;
        sawEof_ = true;
        return false;
    }
    classify(type, tag.begin, record);
    current_ = nextIndex();
    drawing_.records.push_back(record);
    return true;
}

void Drawing::Impl::Loader::classify(std::string_view type, std::size_t begin, Record& record) {
    if (type == "SECTION") {
        if (section_ != Section::None)
            formatError(sourceLine(begin) + "：上一节没有以 ENDSEC 结束");
        record.kind = RecordKind::Section;
        openSection();
    } else if (section_ == Section::None) {
        if (!sawSection_)
            formatError("不是 DXF 图形文件（开头没有 SECTION）");
        // Stray records between sections (a doubled ENDSEC, say) are kept as they are;
        // other readers skip them too.
        record.kind = RecordKind::Other;
    } else if (type == "ENDSEC") {
        record.kind = RecordKind::SectionEnd;
        closeSection(begin);
    } else if (section_ == Section::Blocks && type == "BLOCK") {
        record.kind = RecordKind::BlockBegin;
        openBlock(begin);
    } else if (section_ == Section::Blocks && type == "ENDBLK") {
        record.kind = RecordKind::BlockEnd;
        closeBlock(begin);
    } else if (section_ == Section::Entities || section_ == Section::Blocks) {
        classifyEntity(type, begin, record);
    } else if (section_ == Section::Objects) {
        record.kind = RecordKind::Object;
    } else {
        record.kind = RecordKind::Other;
    }
}

void Drawing::Impl::Loader::openSection() {
    section_ = Section::Other;
    sectionNamePending_ = true;
    sawSection_ = true;
}

void Drawing::Impl::Loader::closeSection(std::size_t begin) {
    if (openBlock_ != kNone)
        formatError(sourceLine(begin) + "：块定义没有以 ENDBLK 结束");
    if (section_ == Section::Entities)
        drawing_.containers[drawing_.entitiesContainer].terminator = nextIndex();
    section_ = Section::None;
    lastMain_ = kNone;
}

void Drawing::Impl::Loader::openBlock(std::size_t begin) {
    if (openBlock_ != kNone)
        formatError(sourceLine(begin) + "：块定义没有以 ENDBLK 结束");
    drawing_.containers.push_back(Container{Space::Block, "", kNone, nextIndex()});
    openBlock_ = static_cast<std::uint32_t>(drawing_.containers.size() - 1);
    blockNamePending_ = true;
    lastMain_ = kNone;
}

void Drawing::Impl::Loader::closeBlock(std::size_t begin) {
    if (openBlock_ == kNone)
        formatError(sourceLine(begin) + "：多余的 ENDBLK");
    drawing_.containers[openBlock_].terminator = nextIndex();
    openBlock_ = kNone;
    lastMain_ = kNone;
}

// An entity of ENTITIES or of a block definition; VERTEX, ATTRIB and SEQEND follow the entity
// they belong to.
void Drawing::Impl::Loader::classifyEntity(std::string_view type, std::size_t begin,
                                           Record& record) {
    if (section_ == Section::Blocks && openBlock_ == kNone) {
        formatError(sourceLine(begin) + "：块定义之外出现了实体“" +
                    std::string(type.substr(0, 40)) + "”");
    }
    record.container = section_ == Section::Blocks ? openBlock_ : drawing_.entitiesContainer;
    const bool follower = type == "VERTEX" || type == "ATTRIB" || type == "SEQEND";
    if (follower && lastMain_ != kNone) {
        record.kind = RecordKind::Follower;
        record.main = lastMain_;
        if (type == "SEQEND")
            lastMain_ = kNone;
    } else {
        record.kind = RecordKind::Entity;
        lastMain_ = nextIndex();
    }
}

// A tag inside the current record.
void Drawing::Impl::Loader::readTag(const RawTag& tag) {
    Record& record = drawing_.records[current_];
    switch (tag.code) {
        case code::kName:
            readName(tag, record);
            break;
        case code::kHandle:
        case code::kDimStyleHandle:
            readHandle(tag, record);
            break;
        case code::kLayer:
            if (record.layer == kNone &&
                (record.kind == RecordKind::Entity || record.kind == RecordKind::Follower)) {
                record.layer = drawing_.layers.intern(tag.value);
            }
            break;
        case code::kPaperSpace:
            if (trimmed(tag.value) == "1")
                record.flags |= kPaperSpace;
            break;
        case code::kHeaderVariable:
            if (current_ == drawing_.headerRecord)
                headerVariable_ = trimmed(tag.value);
            break;
        default:
            break;
    }
    if (current_ == drawing_.headerRecord && tag.code != code::kHeaderVariable &&
        !headerVariable_.empty()) {
        readHeaderValue(tag);
    }
}

void Drawing::Impl::Loader::readName(const RawTag& tag, Record& record) {
    if (sectionNamePending_ && record.kind == RecordKind::Section) {
        sectionNamePending_ = false;
        nameSection(trimmed(tag.value), tag.begin);
    } else if (blockNamePending_ && record.kind == RecordKind::BlockBegin) {
        blockNamePending_ = false;
        nameBlock(trimmed(tag.value));
    }
}

void Drawing::Impl::Loader::nameSection(std::string_view name, std::size_t begin) {
    if (name == "HEADER") {
        section_ = Section::Header;
        drawing_.headerRecord = current_;
    } else if (name == "BLOCKS") {
        section_ = Section::Blocks;
    } else if (name == "ENTITIES") {
        section_ = Section::Entities;
        if (drawing_.entitiesContainer != kNone)
            formatError(sourceLine(begin) + "：ENTITIES 节重复出现");
        drawing_.containers.push_back(Container{Space::Model, "", kNone, kNone});
        drawing_.entitiesContainer = static_cast<std::uint32_t>(drawing_.containers.size() - 1);
    } else if (name == "OBJECTS") {
        section_ = Section::Objects;
    }
}

void Drawing::Impl::Loader::nameBlock(std::string_view name) {
    Container& block = drawing_.containers[openBlock_];
    block.blockName = std::string(name);
    if (startsWithIgnoreCase(block.blockName, "*Paper_Space")) {
        block.space = Space::Paper;
    } else if (startsWithIgnoreCase(block.blockName, "*Model_Space")) {
        block.space = Space::Model;
    }
}

// Handles are group 5, but a DIMSTYLE table entry carries its own in group 105.
void Drawing::Impl::Loader::readHandle(const RawTag& tag, Record& record) {
    if ((record.flags & kHasHandle) || record.kind == RecordKind::Section)
        return;
    if ((tag.code == code::kHandle) == (drawing_.types.name(record.type) == "DIMSTYLE"))
        return;
    if (const auto handle = parseHandle(tag.value)) {
        record.handle = *handle;
        record.flags |= kHasHandle;
        maxHandle_ = std::max(maxHandle_, *handle);
        anyHandle_ = true;
    }
}

void Drawing::Impl::Loader::readHeaderValue(const RawTag& tag) {
    HeaderValues& header = drawing_.header;
    const std::string_view value = trimmed(tag.value);
    if (headerVariable_ == "$ACADVER" && tag.code == code::kText) {
        header.version = std::string(value);
    } else if (headerVariable_ == "$DWGCODEPAGE" && tag.code == code::kEntryName) {
        header.codePage = std::string(value);
    } else if (headerVariable_ == "$HANDSEED" && tag.code == code::kHandle) {
        header.handseed = parseHandle(value);
        header.handseedBegin = tag.valueBegin;
        header.handseedEnd = tag.valueBegin + tag.value.size();
        header.handseedSeen = true;
    } else if (headerVariable_ == "$EXTMIN" || headerVariable_ == "$EXTMAX") {
        auto& point = headerVariable_ == "$EXTMIN" ? header.extMin : header.extMax;
        if (!point)
            point = Point{};
        const double number = numberOr(value, std::numeric_limits<double>::quiet_NaN());
        if (tag.code == code::kX)
            point->x = number;
        if (tag.code == code::kY)
            point->y = number;
        if (tag.code == code::kZ)
            point->z = number;
    }
}

void Drawing::Impl::Loader::requireComplete() const {
    if (!sawSection_)
        formatError("不是 DXF 图形文件（没有找到任何节）");
    if (section_ != Section::None)
        formatError("图形文件不完整：最后一节没有以 ENDSEC 结束");
    // A drawing cut short after a section is still a damaged drawing: saving it would pass
    // the loss on.
    if (!sawEof_)
        formatError("图形文件不完整：没有以 EOF 结束");
}

// Above every handle of the drawing; a seed further up is kept unless it leaves no handle to
// give out.
std::uint64_t Drawing::Impl::Loader::firstFreeHandle() const {
    constexpr std::uint64_t kLast = std::numeric_limits<std::uint64_t>::max();
    const std::uint64_t aboveAll = !anyHandle_ ? 1 : maxHandle_ == kLast ? kLast : maxHandle_ + 1;
    const std::uint64_t seed = drawing_.header.handseed.value_or(0);
    return seed > aboveAll && seed != kLast ? seed : aboveAll;
}

std::string Drawing::Impl::Loader::sourceLine(std::size_t offset) const {
    return "图形文件第 " + std::to_string(lineNumberAt(drawing_.source, offset)) + " 行";
}

void Drawing::Impl::parse() {
    refuseOtherFormats(source);
    records.reserve(source.size() / 96);
    Loader loader(*this);
    loader.readRecords();
    loader.requireComplete();
    for (std::uint32_t i = 0; i < records.size(); ++i) {
        records[i].prev = i == 0 ? kNone : i - 1;
        records[i].next = i + 1 < records.size() ? i + 1 : kNone;
    }
    head = records.empty() ? kNone : 0;
    tail = records.empty() ? kNone : static_cast<std::uint32_t>(records.size() - 1);
    nextHandle = loader.firstFreeHandle();
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

}  // namespace quorvel::dxf
