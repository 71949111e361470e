#include "batch/fontcoverage.h"

#include <algorithm>
#include <vector>

#include "batch/system.h"
#include "textcodec/codepage936.h"
#include "textcodec/utf.h"

namespace quorvel::batch {

namespace {

enum class Verdict { Shows, Missing, Unknown };

struct Judgement {
    Verdict verdict = Verdict::Unknown;
    std::string why;  // when Missing: the start of the reason, the characters follow
};

// One font a text may be drawn with: its style's, or one it switches to inline.
struct Font {
    bool trueType = false;
    std::string file;  // SHX or TrueType file; may be empty for a face named inline
    std::string bigFont;
    std::string face;
};

constexpr std::size_t kCharactersShown = 20;
const Judgement kUnknown{Verdict::Unknown, {}};
const Judgement kShows{Verdict::Shows, {}};

// An SHX font named without its extension, as styles often do.
std::string shxFileName(std::string name) {
    const std::size_t slash = name.find_last_of("/\\");
    if (name.find('.', slash == std::string::npos ? 0 : slash) == std::string::npos)
        name += ".shx";
    return name;
}

Judgement judgeTrueType(const Font& font, char32_t character, const FontFolder* fonts) {
    if (!fonts)
        return kUnknown;
    const FontFile* file = font.file.empty() ? nullptr : fonts->find(font.file);
    if (!file && !font.face.empty())
        file = fonts->findFace(font.face);
    if (!file || file->kind != FontFile::Kind::TrueType)
        return kUnknown;
    if (file->holds(character))
        return kShows;
    const std::string name = font.face.empty()   ? font.file + " "
                             : font.file.empty() ? font.face + " "
                                                 : font.face + "（" + font.file + "）";
    return {Verdict::Missing, "TrueType 字体 " + name + "中没有"};
}

// Besides the characters that need one, a big font holds the symbols East Asian code pages keep
// in two bytes (“ ” — … × ℃ №), as GBK tells.
bool mayBeInBigFont(char32_t character) {
    if (needsBigFont(character))
        return true;
    if (character < 0x80 || character > 0xFFFF)
        return false;
    return codepage::toCodePage936(std::u16string(1, static_cast<char16_t>(character))).size() == 2;
}

// The main SHX font alone: a single-byte font holds its shape numbers; one that is not at hand
// is replaced by the reader's program with another single-byte font.
Verdict mainShxVerdict(const FontFile* file, char32_t character) {
    if (!file || file->kind == FontFile::Kind::Unknown || file->kind == FontFile::Kind::BigFont)
        return needsBigFont(character) ? Verdict::Missing : Verdict::Unknown;
    if (file->holds(character))
        return Verdict::Shows;
    // Characters 0x80-0xFF are numbered in the font's code page, not by Unicode.
    if (file->kind == FontFile::Kind::ShapeFont && character >= 0x80 && character < 0x100)
        return Verdict::Unknown;
    return Verdict::Missing;
}

Judgement judgeShx(const Font& font, char32_t character, const FontFolder* fonts) {
    const std::string mainName = shxFileName(font.file.empty() ? "txt" : font.file);
    const Verdict main = mainShxVerdict(fonts ? fonts->find(mainName) : nullptr, character);
    if (main == Verdict::Shows)
        return kShows;
    const auto missing = [&](const std::string& why) {
        return main == Verdict::Missing ? Judgement{Verdict::Missing, why} : kUnknown;
    };
    if (!mayBeInBigFont(character))
        return missing("SHX 字体 " + mainName + " 中没有");
    if (font.bigFont.empty()) {
        return missing(needsBigFont(character) ? "SHX 字体 " + mainName + " 没有大字体，不能显示"
                                               : "SHX 字体 " + mainName + " 中没有");
    }
    if (!fonts)
        return kUnknown;
    const std::string bigName = shxFileName(font.bigFont);
    const FontFile* big = fonts->find(bigName);
    if (!big)
        return missing("大字体 " + bigName + " 在字体文件夹中找不到，不能显示");
    // Which double-byte characters a big font holds depends on its code page: it is trusted.
    if (big->kind == FontFile::Kind::BigFont || big->kind == FontFile::Kind::Unknown ||
        big->holds(character)) {
        return kShows;
    }
    return missing(bigName + " 不是大字体，不能显示");
}

Judgement judge(const Font& font, char32_t character, const FontFolder* fonts) {
    if (font.trueType)
        return judgeTrueType(font, character, fonts);
    // A bare name with no SHX file of that name at hand may be a TrueType face ("宋体").
    const bool bare = !font.file.empty() && font.file.find('.') == std::string::npos;
    if (bare && fonts && !fonts->find(shxFileName(font.file)) && fonts->findFace(font.file))
        return judgeTrueType({true, "", "", font.file}, character, fonts);
    return judgeShx(font, character, fonts);
}

bool hasTrueTypeExtension(const std::string& file) {
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos)
        return false;
    std::string extension = file.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == "ttf" || extension == "ttc" || extension == "otf";
}

Font styleFont(const dxf::TextStyle& style) {
    // SHX files have ASCII names: a bare name in Chinese ("宋体") names a face.
    const bool faceAsFile = style.fontFile.find('.') == std::string::npos &&
                            std::any_of(style.fontFile.begin(), style.fontFile.end(), [](char c) {
                                return static_cast<unsigned char>(c) >= 0x80;
                            });
    if (!style.isTrueType() && !faceAsFile)
        return {false, style.fontFile, style.bigFontFile, ""};
    const std::string& face =
        style.trueTypeFace.empty() && faceAsFile ? style.fontFile : style.trueTypeFace;
    return {true, hasTrueTypeExtension(style.fontFile) ? style.fontFile : "", "", face};
}

// The fonts multi-line text switches to: "\Ffile,bigfont;" (SHX) and "\fFace|b0|i0...;".
std::vector<Font> inlineFonts(std::string_view raw) {
    std::vector<Font> fonts;
    for (std::size_t i = 0; i + 1 < raw.size(); ++i) {
        if (raw[i] != '\\')
            continue;
        const char code = raw[++i];
        if (code != 'F' && code != 'f')
            continue;
        const std::size_t end = std::min(raw.find(';', i), raw.size());
        std::string named(raw.substr(i + 1, end - i - 1));
        named = named.substr(0, named.find('|'));
        Font font;
        font.trueType = code == 'f' || hasTrueTypeExtension(named);
        const std::size_t comma = named.find(',');
        font.file = font.trueType && code == 'f' ? "" : named.substr(0, comma);
        if (comma != std::string::npos)
            font.bigFont = named.substr(comma + 1);
        font.face = code == 'f' ? named : "";
        fonts.push_back(std::move(font));
        i = end;
    }
    return fonts;
}

// The characters of the new text the old one did not have, each once; blanks need no glyph.

}  // namespace

std::u32string broughtCharacters(std::string_view oldText, std::string_view newText) {
    std::u32string before;
    for (std::size_t at = 0; at < oldText.size();)
        before += textcodec::nextCodePoint(oldText, at);
    std::u32string brought;
    for (std::size_t at = 0; at < newText.size();) {
        const char32_t c = textcodec::nextCodePoint(newText, at);
        const bool blank = c <= 0x20 || c == 0xA0 || c == 0x3000 || c == 0x7F ||
                           c == textcodec::kReplacementCharacter;
        if (!blank && before.find(c) == before.npos && brought.find(c) == brought.npos)
            brought += c;
    }
    return brought;
}

bool needsBigFont(char32_t c) {
    return (c >= 0x1100 && c <= 0x11FF) || (c >= 0x2E80 && c <= 0x9FFF) ||
           (c >= 0xA960 && c <= 0xA97F) || (c >= 0xAC00 && c <= 0xD7FF) ||
           (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

std::string displayProblem(const dxf::TextStyles& styles, const std::string& styleName,
                           std::u32string_view characters, std::string_view newRaw,
                           const FontFolder* fonts) {
    const dxf::TextStyle* style = styles.find(styleName);
    if (!style || style->shapeFile)
        return {};
    const Font base = styleFont(*style);
    const std::vector<Font> switched = inlineFonts(newRaw);
    // Reasons in the order first met, each with its characters.
    struct Problem {
        std::string why;
        std::string characters;
        std::size_t count = 0;
    };
    std::vector<Problem> problems;
    for (const char32_t c : characters) {
        const Judgement judgement = judge(base, c, fonts);
        if (judgement.verdict != Verdict::Missing)
            continue;
        const bool shownInline = std::any_of(switched.begin(), switched.end(), [&](const Font& f) {
            return judge(f, c, fonts).verdict != Verdict::Missing;
        });
        if (shownInline)
            continue;
        auto problem = std::find_if(problems.begin(), problems.end(),
                                    [&](const Problem& p) { return p.why == judgement.why; });
        if (problem == problems.end())
            problem = problems.insert(problems.end(), {judgement.why, {}, 0});
        // A report cell, not a dump: the first characters tell the story.
        if (++problem->count <= kCharactersShown)
            textcodec::appendUtf8(problem->characters, c);
    }
    std::string reason;
    for (const Problem& problem : problems) {
        reason += (reason.empty() ? "样式 " + style->name + "：" : "；") + problem.why + "“" +
                  problem.characters + (problem.count > kCharactersShown ? "……" : "") + "”";
    }
    return reason;
}

DisplayCheck::DisplayCheck(const dxf::Drawing& drawing, const std::vector<std::string>& fontFolders)
    : drawing_(drawing) {
    std::vector<std::filesystem::path> folders;
    for (const std::string& folder : fontFolders)
        folders.push_back(sys::pathFromUtf8(folder));
    if (!folders.empty())
        fonts_ = &sharedFontFolder(folders);
}

std::string DisplayCheck::problem(const dxf::TextEntry& entry, const Substitution& change) {
    const std::u32string brought = broughtCharacters(change.oldText, change.newText);
    if (brought.empty())
        return {};
    if (!styles_)
        styles_.emplace(drawing_);
    const std::string styleName = styles_->styleNameOf(drawing_, entry.id);
    const std::string_view raw =
        syntaxOf(entry) == dxf::TextSyntax::MultiLine && !entry.multiLineAttribute
            ? std::string_view(change.newRaw)
            : std::string_view();
    // One replacement brings the same characters to text after text: each case is decided once,
    // unless the text switches fonts of its own.
    if (raw.find("\\f") != raw.npos || raw.find("\\F") != raw.npos)
        return displayProblem(*styles_, styleName, brought, raw, fonts_);
    std::string key = styleName + '\n';
    for (const char32_t c : brought)
        textcodec::appendUtf8(key, c);
    auto decided = decided_.find(key);
    if (decided == decided_.end()) {
        decided =
            decided_
                .emplace(std::move(key), displayProblem(*styles_, styleName, brought, "", fonts_))
                .first;
    }
    return decided->second;
}

}  // namespace quorvel::batch
