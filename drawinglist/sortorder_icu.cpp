#include <unicode/ucol.h>

#include <memory>

#include "drawinglist/sortorder.h"

namespace quorvel::drawinglist {

namespace {

struct CollatorCloser {
    void operator()(UCollator* collator) const { ucol_close(collator); }
};

}  // namespace

SortKeyMaker caseInsensitiveOrder() {
    UErrorCode status = U_ZERO_ERROR;
    std::shared_ptr<UCollator> collator(ucol_open("zh", &status), CollatorCloser{});
    if (U_FAILURE(status) || !collator) {
        return caseFoldedOrder();
    }
    ucol_setStrength(collator.get(), UCOL_SECONDARY);
    // The "zh" tailoring puts Han characters first; the list keeps Latin letters ahead, as the
    // platform's sorted list box does, with Han characters still in pinyin order.
    const int32_t rootScriptOrder = UCOL_REORDER_CODE_NONE;
    ucol_setReorderCodes(collator.get(), &rootScriptOrder, 1, &status);
    if (U_FAILURE(status)) {
        return caseFoldedOrder();
    }
    return [collator](std::u16string_view text) {
        if (text.size() > static_cast<std::size_t>(INT32_MAX / 8)) {
            return caseFoldedOrder()(text);  // beyond what the collator takes in one call
        }
        const auto length = static_cast<int32_t>(text.size());
        std::string key(text.size() * 3 + 16, '\0');
        int32_t needed = ucol_getSortKey(collator.get(), text.data(), length,
                                         reinterpret_cast<uint8_t*>(key.data()),
                                         static_cast<int32_t>(key.size()));
        if (needed > static_cast<int32_t>(key.size())) {
            key.assign(static_cast<std::size_t>(needed), '\0');
            needed = ucol_getSortKey(collator.get(), text.data(), length,
                                     reinterpret_cast<uint8_t*>(key.data()), needed);
        }
        // The key ends with a terminating zero byte that takes no part in the order.
        key.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);
        return key;
    };
}

}  // namespace quorvel::drawinglist
