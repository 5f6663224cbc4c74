#pragma once

#include <string>
#include <vector>

namespace deptest {

// What the program sets for its whole process, once, as it starts, before
// any file is written: a file-size limit comes back as a failed write, not
// as a signal that ends the program with its records half written.
void prepareProcess();

// The program's arguments in UTF-8, as the user typed them. POSIX hands
// them over as they are; Windows hands main() the ANSI code page's bytes,
// which cannot hold every name, so there they come from the wide command
// line.
std::vector<std::string> commandLineArguments(int argc, char* argv[]);

} // namespace deptest
