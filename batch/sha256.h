#pragma once
// SHA-256 of a byte string, as lower-case hexadecimal: the checksums of the run journal.

#include <string>
#include <string_view>

namespace quorvel::batch {

std::string sha256Hex(std::string_view bytes);

}  // namespace quorvel::batch
