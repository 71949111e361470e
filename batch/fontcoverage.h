#pragma once
// Whether the characters a replacement brings can be shown by the fonts of the text's style, as
// the reader's CAD program will draw them: an SHX font without a big font shows "?" for Chinese,
// a big font that is missing shows nothing better, a TrueType face without the character shows
// boxes. Without the font files only what the style itself says is judged.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "batch/fontfiles.h"
#include "batch/substitution.h"
#include "dxf/textstyles.h"

namespace quorvel::batch {

// The characters of `newText` that `oldText` does not have, each once; blanks need no glyph.
std::u32string broughtCharacters(std::string_view oldText, std::string_view newText);

// Why some of `characters` may not show in the style (Chinese, for the report); empty when each
// can be shown or it cannot be told. `newRaw` is the value with its formatting codes: the fonts
// it switches to inline (multi-line text) are given the benefit of the doubt. `fonts` may be
// null.
std::string displayProblem(const dxf::TextStyles& styles, const std::string& styleName,
                           std::u32string_view characters, std::string_view newRaw,
                           const FontFolder* fonts);

// The check for the texts of one drawing: its styles are read when first needed.
class DisplayCheck {
public:
    // Without font folders it judges by the styles alone.
    DisplayCheck(const dxf::Drawing& drawing, const std::vector<std::string>& fontFolders);
    std::string problem(const dxf::TextEntry& entry, const Substitution& change);

private:
    const dxf::Drawing& drawing_;
    const FontFolder* fonts_ = nullptr;
    std::optional<dxf::TextStyles> styles_;
    std::map<std::string, std::string> decided_;  // style and characters -> reason
};

// Characters that need a double-byte (big) font in SHX text: CJK ideographs and punctuation,
// kana, hangul, full-width forms.
bool needsBigFont(char32_t character);

}  // namespace quorvel::batch
