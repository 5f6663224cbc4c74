#pragma once

#include <string>
#include <vector>

namespace deptest {

class Runtime;

namespace names {

// Programs given to the program (dropped onto the window): reads the names
// of the files they need, asks whether to write them to the name list, and
// only then writes it, in the application directory. What could not be
// read, found or listed is shown afterwards.
void offerNameList(Runtime& runtime, const std::vector<std::string>& files);

} // namespace names
} // namespace deptest
