#include "engine/leadingnumber.h"

#include <algorithm>
#include <charconv>
#include <cstddef>

#include "engine/automation.h"

namespace quorvel::engine {

namespace {

bool isDigit(char16_t unit) {
    return unit >= u'0' && unit <= u'9';
}

std::size_t skipDigits(const std::u16string& text, std::size_t at) {
    while (at < text.size() && isDigit(text[at])) {
        ++at;
    }
    return at;
}

// The power of ten of the first significant digit, for telling overflow from underflow.
long long decimalMagnitude(const std::u16string& text, std::size_t integerStart,
                           std::size_t integerEnd, std::size_t fractionEnd, long long exponent) {
    std::size_t first = integerStart;
    while (first < integerEnd && text[first] == u'0') {
        ++first;
    }
    if (first < integerEnd) {
        return static_cast<long long>(integerEnd - first) - 1 + exponent;
    }
    long long position = -1;
    for (std::size_t i = integerEnd + 1; i < fractionEnd && text[i] == u'0'; ++i) {
        --position;
    }
    return position + exponent;
}

}  // namespace

double leadingNumber(const std::u16string& text) {
    std::size_t end = 0;
    if (end < text.size() && (text[end] == u'+' || text[end] == u'-')) {
        ++end;
    }
    const std::size_t integerStart = end;
    const std::size_t integerEnd = skipDigits(text, integerStart);
    std::size_t digitCount = integerEnd - integerStart;
    end = integerEnd;
    std::size_t fractionEnd = integerEnd;
    if (end < text.size() && text[end] == u'.') {
        fractionEnd = skipDigits(text, end + 1);
        digitCount += fractionEnd - (end + 1);
        end = fractionEnd;
    }
    if (digitCount == 0) {
        return 0.0;
    }
    // An exponent counts only when digits follow it: '5e' and '5em' are just 5.
    long long exponent = 0;
    if (end < text.size() && (text[end] == u'e' || text[end] == u'E')) {
        std::size_t at = end + 1;
        bool negative = false;
        if (at < text.size() && (text[at] == u'+' || text[at] == u'-')) {
            negative = text[at] == u'-';
            ++at;
        }
        const std::size_t exponentEnd = skipDigits(text, at);
        if (exponentEnd > at) {
            for (std::size_t i = at; i < exponentEnd; ++i) {
                exponent = std::min(exponent * 10 + (text[i] - u'0'), 1000000LL);
            }
            exponent = negative ? -exponent : exponent;
            end = exponentEnd;
        }
    }
    // Everything up to end is ASCII; from_chars ignores the C locale's decimal point.
    std::string ascii;
    ascii.reserve(end);
    for (std::size_t i = text[0] == u'+' ? 1 : 0; i < end; ++i) {
        ascii += static_cast<char>(text[i]);
    }
    double value = 0.0;
    const auto result = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        if (decimalMagnitude(text, integerStart, integerEnd, fractionEnd, exponent) > 0) {
            throw AutomationError(kErrorOverflow, u"溢出");
        }
        return 0.0;
    }
    return value;
}

}  // namespace quorvel::engine
