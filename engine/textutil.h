#pragma once
#include <string>

#include "textcodec/utf.h"

namespace quorvel::engine {

// UTF-16 to UTF-8 and back; what is malformed becomes U+FFFD.
using textcodec::fromUtf8;
using textcodec::toUtf8;

// Spaces (U+0020 only) removed from both ends, as the runs trim paths and option texts.
std::u16string trimSpaces(const std::u16string& text);

}  // namespace quorvel::engine
