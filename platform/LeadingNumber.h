#pragma once

#include <cstdint>
#include <string_view>

namespace deptest {

class ErrorState;

// The number at the start of a text (leading blanks, sign, digits, fraction,
// exponent), 0 when there is none, rounded half to even. A number outside
// the 64-bit range raises 6 (Overflow) and leaves `value` alone.
void leadingNumber(std::string_view text, std::int64_t& value, ErrorState& state);

} // namespace deptest
