#pragma once
#include <string>

namespace quorvel::engine {

// The number at the start of the text: optional sign, digits with an optional "." fraction
// (whatever the locale), optional exponent. '2.5mm' gives 2.5; a text that does not start with
// a number gives 0. The caller trims. A number too large for a double raises
// AutomationError(kErrorOverflow).
double leadingNumber(const std::u16string& text);

}  // namespace quorvel::engine
