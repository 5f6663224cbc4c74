#pragma once

#include <string_view>

namespace deptest {

class ErrorState;

// Raises the program's error for an operating-system error number met on
// hostPath: 53 for a missing file in an existing directory, 76 for a
// missing directory, 70, 61, 57, 67 and 75 for the usual faults, and 75
// with the system's own text for anything else.
void raiseOsError(int osError, std::string_view hostPath, ErrorState& state);

} // namespace deptest
