// The record store: loading a drawing's bytes into records, writing them back, linking them.
#include <algorithm>
#include <cctype>
#include <limits>

#include "cadhost/dxf/drawingimpl.h"
#include "cadhost/dxf/groupcodes.h"

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
        if (tag.code == code::kType) {
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
            case code::kName:
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
            case code::kHandle:
            case code::kDimStyleHandle:
                if (!(record.flags & kHasHandle) && record.kind != RecordKind::Section &&
                    (tag.code == code::kHandle) != (types.name(record.type) == "DIMSTYLE")) {
                    if (const auto handle = parseHandle(tag.value)) {
                        record.handle = *handle;
                        record.flags |= kHasHandle;
                        maxHandle = std::max(maxHandle, *handle);
                        anyHandle = true;
                    }
                }
                break;
            case code::kLayer:
                if (record.layer == kNone &&
                    (record.kind == RecordKind::Entity || record.kind == RecordKind::Follower)) {
                    record.layer = layers.intern(tag.value);
                }
                break;
            case code::kPaperSpace:
                if (trimmed(tag.value) == "1")
                    record.flags |= kPaperSpace;
                break;
            case code::kHeaderVariable:
                if (current == headerRecord)
                    headerVariable = trimmed(tag.value);
                break;
            default:
                break;
        }
        if (current == headerRecord && tag.code != code::kHeaderVariable &&
            !headerVariable.empty()) {
            const std::string_view value = trimmed(tag.value);
            if (headerVariable == "$ACADVER" && tag.code == code::kText) {
                header.version = std::string(value);
            } else if (headerVariable == "$DWGCODEPAGE" && tag.code == code::kEntryName) {
                header.codePage = std::string(value);
            } else if (headerVariable == "$HANDSEED" && tag.code == code::kHandle) {
                header.handseed = parseHandle(value);
                header.handseedBegin = tag.valueBegin;
                header.handseedEnd = tag.valueBegin + tag.value.size();
                header.handseedSeen = true;
            } else if (headerVariable == "$EXTMIN" || headerVariable == "$EXTMAX") {
                auto& point = headerVariable == "$EXTMIN" ? header.extMin : header.extMax;
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
