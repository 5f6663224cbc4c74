#include "system/Process.h"

namespace deptest {

// Windows reports a file-size limit as a failed write already.
void prepareProcess() { }

} // namespace deptest
