#include "engine/replacestr.h"

#include <cstddef>

#include "engine/automation.h"

namespace quorvel::engine {

namespace {

constexpr std::size_t kLargestPosition = 32767;

[[noreturn]] void raiseOverflow() {
    throw AutomationError(kErrorOverflow, u"溢出");
}

}  // namespace

std::u16string replaceStr(const std::u16string& searchStr, const std::u16string& oldStr,
                          const std::u16string& newStr, bool firstOnly) {
    if (searchStr.empty() || oldStr.empty()) {
        return {};
    }
    const std::size_t oldLength = oldStr.size();
    if (oldLength > kLargestPosition) {
        raiseOverflow();
    }
    // The remainder is searchStr from remainderStart on; positions count from 1 within it, 0 when
    // there is no occurrence. A position is 16-bit from the moment it is found.
    std::size_t remainderStart = 0;
    const auto nextPosition = [&] {
        const std::size_t found = searchStr.find(oldStr, remainderStart);
        if (found == std::u16string::npos) {
            return std::size_t{0};
        }
        const std::size_t position = found - remainderStart + 1;
        if (position > kLargestPosition) {
            raiseOverflow();
        }
        return position;
    };
    std::u16string prefix;
    std::size_t position = nextPosition();
    while (position > 0) {
        if (position + oldLength > kLargestPosition) {
            raiseOverflow();
        }
        prefix.append(searchStr, remainderStart, position - 1);
        prefix += newStr;
        remainderStart += position - 1 + oldLength;
        position = nextPosition();
        if (firstOnly) {
            break;
        }
    }
    prefix.append(searchStr, remainderStart, std::u16string::npos);
    return prefix;
}

}  // namespace quorvel::engine
