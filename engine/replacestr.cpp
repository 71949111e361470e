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
    // The remainder is searchStr from remainderStart on; positions are counted within it.
    std::u16string prefix;
    std::size_t remainderStart = 0;
    std::size_t found = searchStr.find(oldStr, remainderStart);
    while (found != std::u16string::npos) {
        const std::size_t position = found - remainderStart + 1;
        if (position > kLargestPosition || position + oldLength > kLargestPosition) {
            raiseOverflow();
        }
        prefix.append(searchStr, remainderStart, position - 1);
        prefix += newStr;
        remainderStart = found + oldLength;
        found = searchStr.find(oldStr, remainderStart);
        if (firstOnly) {
            break;
        }
    }
    prefix.append(searchStr, remainderStart, std::u16string::npos);
    return prefix;
}

}  // namespace quorvel::engine
