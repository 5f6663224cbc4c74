#include "system/Process.h"

#include <csignal>

namespace deptest {

void prepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

std::vector<std::string> commandLineArguments(int argc, char* argv[]) { return { argv, argv + argc }; }

} // namespace deptest
