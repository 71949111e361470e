#include "batch/unreached.h"

#include <cctype>
#include <cstdlib>
#include <set>

#include "dxf/drawing.h"
#include "dxf/tags.h"

namespace quorvel::batch {

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    }
    return true;
}

struct BlockTags {
    std::string_view name;  // group 2
    std::string_view path;  // group 1: the referenced drawing of an external reference
    int flags = 0;          // group 70
};

BlockTags blockTags(std::string_view bytes) {
    BlockTags block;
    dxf::TagCursor cursor(bytes);
    dxf::RawTag tag;
    while (cursor.next(tag)) {
        if (tag.code == 2 && block.name.empty())
            block.name = tag.value;
        else if (tag.code == 1)
            block.path = tag.value;
        else if (tag.code == 70)
            block.flags = std::atoi(std::string(dxf::trimmed(tag.value)).c_str());
    }
    return block;
}

// Group 5 of an object, or the extension dictionary (group 360 inside "102 {ACAD_XDICTIONARY")
// of an entity.
std::string_view handleTag(std::string_view bytes, bool extensionDictionary) {
    dxf::TagCursor cursor(bytes);
    dxf::RawTag tag;
    bool inside = false;
    while (cursor.next(tag)) {
        if (tag.code == 102)
            inside = dxf::trimmed(tag.value) == "{ACAD_XDICTIONARY";
        else if (extensionDictionary ? inside && tag.code == 360 : tag.code == 5)
            return dxf::trimmed(tag.value);
    }
    return {};
}

std::string count(std::size_t number, const char* what, const char* unit) {
    return std::string(what) + " " + std::to_string(number) + " " + unit;
}

}  // namespace

bool Unreached::empty() const {
    return proxies == 0 && oleObjects == 0 && fieldTexts == 0 && anonymousBlockTexts == 0 &&
           externalReferences.empty();
}

std::string Unreached::description() const {
    std::vector<std::string> parts;
    if (proxies)
        parts.push_back(count(proxies, "代理对象", "个"));
    if (oleObjects)
        parts.push_back(count(oleObjects, "OLE 对象", "个"));
    if (!externalReferences.empty()) {
        std::string references = count(externalReferences.size(), "外部参照", "个") + "（";
        for (std::size_t i = 0; i < externalReferences.size(); ++i)
            references +=
                (i ? "；" : "") + externalReferences[i].block + "：" + externalReferences[i].path;
        parts.push_back(references + "）");
    }
    if (fieldTexts)
        parts.push_back(count(fieldTexts, "含字段的文字", "处") + "（更新字段时会被改回）");
    if (anonymousBlockTexts)
        parts.push_back(count(anonymousBlockTexts, "匿名块中的文字", "处"));
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i)
        line += (i ? "，" : "") + parts[i];
    return line;
}

Unreached findUnreached(const dxf::Drawing& drawing) {
    Unreached found;
    std::set<std::string_view> fieldDictionaries;
    for (const auto& [type, bytes] : drawing.recordsOfTypes(
             {"ACAD_PROXY_ENTITY", "OLE2FRAME", "OLEFRAME", "BLOCK", "DICTIONARY"})) {
        if (type == "ACAD_PROXY_ENTITY") {
            ++found.proxies;
        } else if (type == "OLE2FRAME" || type == "OLEFRAME") {
            ++found.oleObjects;
        } else if (type == "DICTIONARY") {
            if (bytes.find("ACAD_FIELD") != std::string_view::npos)
                fieldDictionaries.insert(handleTag(bytes, false));
        } else {
            const BlockTags block = blockTags(bytes);
            // 4: an external reference, 8: an overlaid one; 32 marks blocks that came from one.
            if ((block.flags & 12) != 0 && (block.flags & 32) == 0)
                found.externalReferences.push_back(
                    {drawing.decodeText(block.name), drawing.decodeText(block.path)});
        }
    }
    for (const dxf::Drawing::TextRecord& text : drawing.textRecords()) {
        // Layouts other than the model are paper space; the picture of a dimension (*D) or a
        // table (*T) follows its entity.
        if (text.space == dxf::Space::Block && !text.block.empty() && text.block[0] == '*' &&
            !startsWithNoCase(text.block, "*D") && !startsWithNoCase(text.block, "*T"))
            ++found.anonymousBlockTexts;
        const std::string_view bytes = drawing.recordBytes(text.id);
        if (bytes.find("%<\\") != std::string_view::npos ||
            (!fieldDictionaries.empty() &&
             bytes.find("{ACAD_XDICTIONARY") != std::string_view::npos &&
             fieldDictionaries.count(handleTag(bytes, true)) > 0))
            ++found.fieldTexts;
    }
    return found;
}

}  // namespace quorvel::batch
