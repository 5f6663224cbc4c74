#pragma once

#include "errors/Error.h"

#include <string>
#include <vector>

namespace deptest {

// The system's folder of public keys the administrator trusts, which only
// an administrator can write: /etc/deptest/trusted, and on Windows
// %ProgramData%\deptest\trusted. Never a folder beside the program.
std::string trustedKeyFolder();

// The names of the public key files (*.pub) in a folder, sorted. None when
// the folder is not there; a failure when it is there but cannot be listed.
Result<std::vector<std::string>> keyFileNames(const std::string& folder);

} // namespace deptest
