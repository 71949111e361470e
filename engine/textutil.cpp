#include "engine/textutil.h"

namespace quorvel::engine {

std::u16string trimSpaces(const std::u16string& text) {
    const auto first = text.find_first_not_of(u' ');
    if (first == std::u16string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(u' ');
    return text.substr(first, last - first + 1);
}

}  // namespace quorvel::engine
