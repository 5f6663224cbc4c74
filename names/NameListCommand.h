#pragma once

#include <optional>
#include <string>
#include <vector>

namespace deptest {

class OutputFile;
class Runtime;

namespace names {

// Whether this build reads name lists from programs. Every build does
// now; on Windows only Windows programs are read.
bool canReadNameLists();

// Programs given to the program (dropped onto the window): reads the names
// of the files they need, asks whether to write them to the name list, and
// only then writes it, in the application directory. What could not be
// read, found or listed is shown afterwards.
void offerNameList(Runtime& runtime, const std::vector<std::string>& files);

// What the command line asks for: the programs, where the list goes, and
// the loader's extra search path when it is searched too.
struct NameListRequest {
    std::vector<std::string> programs;
    std::string output; // empty: the name list in the application directory
    bool toStandardOutput { false };
    std::optional<std::string> libraryPath;
};

// The name list of the programs from the command line: written unless no
// file could be read; a message for each file that could not be read, each
// library not found and each one left out. Its exit status: 0 when every
// name was found and listed, 1 when not, 2 when a file could not be read
// or the list not written.
int runNameListCommand(Runtime& runtime, const NameListRequest& request, OutputFile& standardOutput);

} // namespace names
} // namespace deptest
