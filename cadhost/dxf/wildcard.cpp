#include "cadhost/dxf/wildcard.h"

namespace quorvel::dxf {

bool wildcardMatch(std::string_view text, std::string_view pattern) {
    return text == pattern;
}

}  // namespace quorvel::dxf
