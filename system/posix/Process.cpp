#include "system/Process.h"

#include <csignal>

namespace deptest {

void prepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

} // namespace deptest
