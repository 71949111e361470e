#pragma once
// SHA-256 of a byte string, as lower-case hexadecimal: the run journal's checksums and the name
// of the run lock's file.

#include <string>
#include <string_view>

namespace quorvel::platform {

std::string sha256Hex(std::string_view bytes);

}  // namespace quorvel::platform
