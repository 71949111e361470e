// Stored texts come from any writer: every value must read without a crash, and every edit
// either writes a value that reads back as asked or is refused.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "dxf/drawing.h"
#include "dxf/visibletext.h"

using quorvel::dxf::DxfError;
using quorvel::dxf::TextSyntax;
using quorvel::dxf::VisibleText;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const auto syntax = static_cast<TextSyntax>(data[0] % 3);
    const std::string_view input(reinterpret_cast<const char*>(data) + 3, size - 3);
    const std::size_t split = input.find('\0');
    const VisibleText text(input.substr(0, split), syntax);
    const std::u16string& plain = text.plain();
    if (plain.empty())
        return 0;
    std::u16string replacement;
    if (split != std::string_view::npos) {
        for (const char c : input.substr(split + 1))
            replacement += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
    const std::size_t begin = data[1] % plain.size();
    const std::size_t end = begin + 1 + data[2] % (plain.size() - begin);
    try {
        const std::string written = text.apply({{begin, end, replacement}});
        if (!text.replaceable(begin, end))
            std::abort();  // apply must refuse what cannot be replaced
        (void)VisibleText(written, syntax).shown();
    } catch (const DxfError&) {
    }
    return 0;
}
