#pragma once

#include <string_view>

namespace deptest {

// The fixed directories the full search looks in, as the program names
// them. They become host directories only when a file is touched.
inline constexpr std::string_view systemDirectoryLiteral = "c:\\windows\\system\\";
inline constexpr std::string_view windowsDirectoryLiteral = "c:\\windows\\";

} // namespace deptest
