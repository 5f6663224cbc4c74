#pragma once

#include <string>
#include <string_view>

namespace deptest {

// The program's text is UTF-8; Windows' wide functions take UTF-16.

// UTF-8 as UTF-16. Bytes that are no UTF-8 are read in this machine's code
// page (a list written here by an older program) rather than becoming
// U+FFFD, a name no file has.
std::wstring wide(std::string_view utf8);

// UTF-16 from Windows as UTF-8.
std::string narrow(std::wstring_view text);

} // namespace deptest
