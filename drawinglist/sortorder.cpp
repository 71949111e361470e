#include "drawinglist/sortorder.h"

#include <string>

namespace quorvel::drawinglist {

namespace {

std::string foldedKey(std::u16string_view text) {
    std::string key;
    key.reserve(text.size() * 2);
    for (char16_t unit : text) {
        if (unit >= u'A' && unit <= u'Z') {
            unit = static_cast<char16_t>(unit - u'A' + u'a');
        }
        key.push_back(static_cast<char>(unit >> 8));
        key.push_back(static_cast<char>(unit & 0xFF));
    }
    return key;
}

}  // namespace

SortKeyMaker caseFoldedOrder() {
    return foldedKey;
}

}  // namespace quorvel::drawinglist
