#pragma once

#include "errors/Error.h"

#include <cstdint>
#include <string_view>

namespace deptest {

// The number at the start of a size field (leading blanks, sign, digits,
// fraction, exponent), 0 when there is none, rounded half to even. A number
// outside the 64-bit range is 6 (Overflow).
Result<std::int64_t> leadingNumber(std::string_view text);

} // namespace deptest
