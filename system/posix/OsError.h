#pragma once

#include "errors/Error.h"

namespace deptest {

// The program's error for an operating-system error number: 53 for a
// missing file, 76 for a missing directory on the way, 70, 61, 57, 67 and
// 75 for the usual faults, and 75 with the system's own text for the rest.
Error errorFromOs(int osError);

} // namespace deptest
