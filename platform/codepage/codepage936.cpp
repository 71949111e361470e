#include "platform/codepage/codepage936.h"

#include <iconv.h>

#include <bit>
#include <cerrno>
#include <stdexcept>

namespace quorvel::codepage {

namespace {

constexpr const char* kUtf16 = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) {
            throw std::runtime_error("iconv cannot convert between GBK and UTF-16");
        }
    }
    ~Converter() { iconv_close(handle_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    enum class Stop { Done, Invalid, Incomplete };

    // Converts as much as possible, appending to `out`; leaves `in` at the first byte it could
    // not take.
    Stop convert(const char*& in, std::size_t& inLeft, std::string& out) {
        while (inLeft > 0) {
            char buffer[16384];
            char* outPtr = buffer;
            std::size_t outLeft = sizeof buffer;
            char* inPtr = const_cast<char*>(in);
            const std::size_t result = iconv(handle_, &inPtr, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            in = inPtr;
            out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
            if (result != static_cast<std::size_t>(-1)) {
                continue;
            }
            if (error == E2BIG) {
                continue;
            }
            return error == EINVAL ? Stop::Incomplete : Stop::Invalid;
        }
        return Stop::Done;
    }

private:
    iconv_t handle_;
};

bool isHighSurrogate(char16_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool isLowSurrogate(char16_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string toCodePage936(std::u16string_view text) {
    Converter converter("GBK", kUtf16);
    std::string out;
    out.reserve(text.size() * 2);
    const char* in = reinterpret_cast<const char*>(text.data());
    std::size_t inLeft = text.size() * sizeof(char16_t);
    while (inLeft > 0) {
        if (converter.convert(in, inLeft, out) == Converter::Stop::Done) {
            break;
        }
        // Skip the whole character iconv stopped at: a surrogate pair counts as one.
        const std::size_t unitIndex =
            text.size() - inLeft / sizeof(char16_t);  // index of the offending unit
        std::size_t skip = 1;
        if (isHighSurrogate(text[unitIndex]) && unitIndex + 1 < text.size() &&
            isLowSurrogate(text[unitIndex + 1])) {
            skip = 2;
        }
        out.push_back('?');
        in += skip * sizeof(char16_t);
        inLeft -= skip * sizeof(char16_t);
    }
    return out;
}

std::u16string fromCodePage936(std::string_view bytes) {
    Converter converter(kUtf16, "GBK");
    std::string utf16;
    utf16.reserve(bytes.size() * 2);
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    const auto appendReplacement = [&utf16] {
        const char16_t unit = kReplacementCharacter;
        utf16.append(reinterpret_cast<const char*>(&unit), sizeof unit);
    };
    while (inLeft > 0) {
        if (converter.convert(in, inLeft, utf16) == Converter::Stop::Done) {
            break;
        }
        // One replacement per byte that does not start a valid character, then go on.
        appendReplacement();
        ++in;
        --inLeft;
    }
    std::u16string text(utf16.size() / sizeof(char16_t), u'\0');
    utf16.copy(reinterpret_cast<char*>(text.data()), text.size() * sizeof(char16_t));
    return text;
}

}  // namespace quorvel::codepage
