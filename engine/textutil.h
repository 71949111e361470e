#pragma once
#include <string>

namespace quorvel::engine {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string toUtf8(const std::u16string& text);

// UTF-8 to UTF-16; invalid bytes become U+FFFD.
std::u16string fromUtf8(const std::string& text);

// Spaces (U+0020 only) removed from both ends, as the runs trim paths and option texts.
std::u16string trimSpaces(const std::u16string& text);

}  // namespace quorvel::engine
