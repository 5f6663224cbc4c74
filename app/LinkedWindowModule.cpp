#include "app/WindowModule.h"

namespace deptest {

const WindowModule* windowModule() { return deptestWindowModule(); }

} // namespace deptest
