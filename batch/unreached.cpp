#include "batch/unreached.h"

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

bool isTextType(std::string_view type) {
    return type == "TEXT" || type == "MTEXT" || type == "ATTRIB" || type == "ATTDEF" ||
           type == "DIMENSION";
}

// The tags of one record (a code-0 tag to the next) that the counts need.
struct Record {
    std::string_view type;
    std::string_view handle;
    std::string_view name;  // group 2
    std::string_view path;  // group 1 of a BLOCK
    std::string_view xdictionary;
    int flags = 0;                 // group 70
    bool fieldCode = false;        // a value holds "%<\", a field not yet worked out
    bool fieldDictionary = false;  // a dictionary with an ACAD_FIELD entry
};

class Scanner {
public:
    void take(const dxf::RawTag& tag);
    void finish(Unreached& out);

private:
    void closeRecord();
    std::string_view section_;
    std::string_view block_;  // the block definition being read, in BLOCKS
    bool inXdictionary_ = false;
    Record record_;
    Unreached found_;
    std::vector<std::string_view> fieldTextDictionaries_;  // xdictionary of each text
    std::size_t fieldCodeTexts_ = 0;
    std::set<std::string_view> fieldDictionaries_;
};

void Scanner::take(const dxf::RawTag& tag) {
    const std::string_view value = dxf::trimmed(tag.value);
    if (tag.code == 0) {
        closeRecord();
        record_ = Record{};
        record_.type = value;
        return;
    }
    switch (tag.code) {
        case 1:
            record_.path = tag.value;
            [[fallthrough]];
        case 3:
            record_.fieldCode = record_.fieldCode || tag.value.find("%<\\") != tag.value.npos;
            record_.fieldDictionary = record_.fieldDictionary || value == "ACAD_FIELD";
            break;
        case 2:
            if (record_.name.empty())
                record_.name = tag.value;
            break;
        case 5:
            record_.handle = value;
            break;
        case 70:
            record_.flags = std::atoi(std::string(value).c_str());
            break;
        case 102:
            inXdictionary_ = value == "{ACAD_XDICTIONARY";
            break;
        case 360:
            if (inXdictionary_)
                record_.xdictionary = value;
            break;
        default:
            break;
    }
}

void Scanner::closeRecord() {
    const std::string_view type = record_.type;
    inXdictionary_ = false;
    if (type == "SECTION") {
        section_ = dxf::trimmed(record_.name);
        return;
    }
    if (type == "ENDSEC") {
        section_ = {};
        return;
    }
    if (section_ == "BLOCKS" && type == "BLOCK") {
        block_ = record_.name;
        // 4: an external reference, 8: an overlaid one; 32 marks blocks that came from one.
        if ((record_.flags & 12) != 0 && (record_.flags & 32) == 0)
            found_.externalReferences.push_back(
                {std::string(record_.name), std::string(record_.path)});
        return;
    }
    if (type == "ENDBLK") {
        block_ = {};
        return;
    }
    if (type == "DICTIONARY" && record_.fieldDictionary) {
        fieldDictionaries_.insert(record_.handle);
        return;
    }
    if (section_ != "ENTITIES" && section_ != "BLOCKS")
        return;
    if (type == "ACAD_PROXY_ENTITY")
        ++found_.proxies;
    else if (type == "OLE2FRAME" || type == "OLEFRAME")
        ++found_.oleObjects;
    if (!isTextType(type))
        return;
    if (record_.fieldCode)
        ++fieldCodeTexts_;
    else if (!record_.xdictionary.empty())
        fieldTextDictionaries_.push_back(record_.xdictionary);
    const bool anonymous =
        !block_.empty() && block_.front() == '*' && !startsWithNoCase(block_, "*MODEL_SPACE") &&
        !startsWithNoCase(block_, "*PAPER_SPACE") && !startsWithNoCase(block_, "*D");
    if (anonymous)
        ++found_.anonymousBlockTexts;
}

void Scanner::finish(Unreached& out) {
    closeRecord();
    found_.fieldTexts = fieldCodeTexts_;
    for (const std::string_view dictionary : fieldTextDictionaries_)
        found_.fieldTexts += fieldDictionaries_.count(dictionary);
    out = std::move(found_);
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

Unreached findUnreached(std::string_view bytes) {
    Unreached unreached;
    Scanner scanner;
    dxf::TagCursor cursor(bytes);
    dxf::RawTag tag;
    try {
        while (cursor.next(tag))
            scanner.take(tag);
    } catch (const dxf::DxfError&) {
        // The loader says what is wrong with the drawing.
    }
    scanner.finish(unreached);
    return unreached;
}

void decodeNames(Unreached& unreached, const dxf::Drawing& drawing) {
    for (ExternalReference& reference : unreached.externalReferences) {
        reference.block = drawing.decodeText(reference.block);
        reference.path = drawing.decodeText(reference.path);
    }
}

}  // namespace quorvel::batch
