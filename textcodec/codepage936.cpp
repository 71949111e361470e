#include "textcodec/codepage936.h"

#include <algorithm>
#include <stdexcept>

#include "textcodec/byteconverter.h"
#include "textcodec/utf.h"

namespace quorvel::codepage {

namespace {

// One converter per call: a converter keeps state and the calls may come from several threads.
void requireValid(const textcodec::ByteConverter& converter) {
    if (!converter.valid())
        throw std::runtime_error("cannot convert between GBK and UTF-8");
}

}  // namespace

std::string toCodePage936(std::u16string_view text) {
    const textcodec::ByteConverter toGbk("GBK", "UTF-8");
    requireValid(toGbk);
    // An unpaired surrogate turns into U+FFFD here, which GBK lacks: it becomes "?" as well.
    const std::string utf8 = textcodec::toUtf8(text);
    std::string_view rest = utf8;
    std::string out;
    out.reserve(text.size() * 2);
    while (!rest.empty()) {
        std::size_t consumed = 0;
        if (toGbk.convert(rest, out, consumed))
            break;
        // Skip the whole character the conversion stopped at.
        rest.remove_prefix(consumed);
        if (rest.empty())
            break;
        std::size_t next = 0;
        textcodec::nextCodePoint(rest, next);
        rest.remove_prefix(next);
        out.push_back('?');
    }
    return out;
}

std::u16string fromCodePage936(std::string_view bytes) {
    const textcodec::ByteConverter fromGbk("UTF-8", "GBK");
    requireValid(fromGbk);
    std::string utf8;
    utf8.reserve(bytes.size() * 2);
    while (!bytes.empty()) {
        std::size_t consumed = 0;
        if (fromGbk.convert(bytes, utf8, consumed))
            break;
        // One replacement per byte that does not start a valid character, then go on.
        textcodec::appendUtf8(utf8, kReplacementCharacter);
        bytes.remove_prefix(std::min(bytes.size(), consumed + 1));
    }
    return textcodec::fromUtf8(utf8);
}

}  // namespace quorvel::codepage
