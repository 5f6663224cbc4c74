#include "records/LeadingNumber.h"

#include <charconv>
#include <cmath>
#include <string>

namespace deptest {

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipDigits(std::string_view text, std::size_t at)
{
    while (at < text.size() && isDigit(text[at]))
        ++at;
    return at;
}

} // namespace

Result<std::int64_t> leadingNumber(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    const std::size_t start = at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        ++at;
    const std::size_t integerStart = at;
    at = skipDigits(text, at);
    bool hasDigits = at > integerStart;
    bool isInteger = true;
    if (at < text.size() && text[at] == '.') {
        const std::size_t fractionEnd = skipDigits(text, at + 1);
        hasDigits = hasDigits || fractionEnd > at + 1;
        isInteger = false;
        at = fractionEnd;
    }
    if (!hasDigits)
        return std::int64_t { 0 };
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        std::size_t exponent = at + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-'))
            ++exponent;
        if (exponent < text.size() && isDigit(text[exponent])) {
            at = skipDigits(text, exponent);
            isInteger = false;
        }
    }

    std::string_view number = text.substr(start, at - start);
    if (!number.empty() && number.front() == '+')
        number.remove_prefix(1);

    if (isInteger) {
        // Exact for every 64-bit value, which a double is not.
        std::int64_t parsed = 0;
        const auto [end, failure] = std::from_chars(number.data(), number.data() + number.size(), parsed);
        if (failure != std::errc {} || end != number.data() + number.size())
            return Error::of(error::overflow);
        return parsed;
    }

    double parsed = 0;
    const auto [end, failure] = std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (failure == std::errc::result_out_of_range && std::abs(parsed) < 1)
        return std::int64_t { 0 }; // underflow: a vanishing fraction
    const double rounded = std::nearbyint(parsed); // the default mode rounds half to even
    constexpr double limit = 9223372036854775808.0; // 2^63
    if (failure != std::errc {} || !(rounded >= -limit && rounded < limit))
        return Error::of(error::overflow);
    return static_cast<std::int64_t>(rounded);
}

} // namespace deptest
