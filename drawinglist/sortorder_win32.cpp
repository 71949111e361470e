#include <windows.h>

#include "drawinglist/sortorder.h"

namespace quorvel::drawinglist {

// The system's sort keys for Simplified Chinese, letter case ignored.
SortKeyMaker caseInsensitiveOrder() {
    constexpr DWORD kFlags = LCMAP_SORTKEY | LINGUISTIC_IGNORECASE;
    if (LCMapStringEx(L"zh-CN", kFlags, L"a", 1, nullptr, 0, nullptr, nullptr, 0) <= 0) {
        return caseFoldedOrder();
    }
    return [](std::u16string_view text) {
        if (text.size() > static_cast<std::size_t>(INT_MAX / 8)) {
            return caseFoldedOrder()(text);
        }
        const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
        const int length = static_cast<int>(text.size());
        const int needed =
            LCMapStringEx(L"zh-CN", kFlags, wide, length, nullptr, 0, nullptr, nullptr, 0);
        if (needed <= 0) {
            return caseFoldedOrder()(text);
        }
        std::string key(static_cast<std::size_t>(needed), '\0');
        LCMapStringEx(L"zh-CN", kFlags, wide, length, reinterpret_cast<wchar_t*>(key.data()),
                      needed, nullptr, nullptr, 0);
        // The key ends with a terminating zero byte that takes no part in the order.
        key.resize(static_cast<std::size_t>(needed - 1));
        return key;
    };
}

}  // namespace quorvel::drawinglist
