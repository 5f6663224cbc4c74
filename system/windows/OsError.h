#pragma once

#include "errors/Error.h"

#include <string>

namespace deptest {

// The program's error for a Windows error code (GetLastError()): 53 for a
// missing file, 76 for a missing folder on the way, 70, 61, 52, 67 and 57
// for the usual faults, and 75 with Windows' own words for the rest.
Error errorFromWindows(unsigned long code);

// Windows' own words for one of its error codes, in UTF-8, without the
// line end; empty when it has none.
std::string windowsMessage(unsigned long code);

} // namespace deptest
