#pragma once

#include "cli/Console.h"

namespace deptest::cli {

// The commands as the shell runs them; each returns its exit status.
int runTestCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams);
int runGenerateCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams);
int runPrintCommand(ConsoleRuntime& runtime, ConsoleWindow& window);
int runNamesCommand(const Options& options, ConsoleRuntime& runtime, const Streams& streams);

} // namespace deptest::cli
