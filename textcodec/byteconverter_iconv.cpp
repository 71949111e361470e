#include "textcodec/byteconverter.h"

#include <iconv.h>

#include <array>
#include <cerrno>

namespace quorvel::textcodec {

struct ByteConverter::State {
    iconv_t handle;
};

ByteConverter::ByteConverter(const char* to, const char* from)
    : state_(std::make_unique<State>(State{iconv_open(to, from)})) {}

ByteConverter::~ByteConverter() {
    if (valid())
        iconv_close(state_->handle);
}

bool ByteConverter::valid() const {
    return state_->handle != reinterpret_cast<iconv_t>(-1);
}

bool ByteConverter::convert(std::string_view in, std::string& out, std::size_t& consumed) const {
    const iconv_t handle = state_->handle;
    iconv(handle, nullptr, nullptr, nullptr, nullptr);
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    bool ok = true;
    while (inLeft > 0) {
        std::array<char, 1024> buffer{};
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        const std::size_t result = iconv(handle, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (result == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG)
                continue;
            ok = false;
            break;
        }
    }
    if (ok) {
        std::array<char, 64> buffer{};
        char* outPtr = buffer.data();
        std::size_t outLeft = buffer.size();
        iconv(handle, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
    }
    consumed = in.size() - inLeft;
    return ok;
}

}  // namespace quorvel::textcodec
