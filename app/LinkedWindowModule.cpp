#include "app/WindowModule.h"

namespace deptest {

const WindowModule* windowModule() { return deptestWindowModule(); }

// Windows' own window system is always there.
const char* missingDisplay() { return nullptr; }

void preparePrintingWithoutWindow() { }

} // namespace deptest
