#pragma once
// Converts bytes from one encoding to another: iconv on Linux, the Windows API on Windows.
// Encodings go by their iconv names ("UTF-8", "GBK", "CP1252", ...).

#include <memory>
#include <string>
#include <string_view>

namespace quorvel::textcodec {

class ByteConverter {
public:
    ByteConverter(const char* to, const char* from);
    ~ByteConverter();
    ByteConverter(const ByteConverter&) = delete;
    ByteConverter& operator=(const ByteConverter&) = delete;

    // False when this platform cannot convert between the two encodings.
    bool valid() const;

    // Converts as much as possible, appending to `out`; returns false when the input holds
    // something the target cannot take or that is malformed. `consumed` tells how far the input
    // was read: everything before it was converted.
    bool convert(std::string_view in, std::string& out, std::size_t& consumed) const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace quorvel::textcodec
