#pragma once

#include "services/FileMeasurement.h"

#include <optional>
#include <string>
#include <string_view>

namespace deptest {

class ErrorState;
class Runtime;

// The fixed directories the full search looks in, as the program names
// them. They become host directories only when a file is touched.
inline constexpr std::string_view systemDirectoryLiteral = "c:\\windows\\system\\";
inline constexpr std::string_view windowsDirectoryLiteral = "c:\\windows\\";

enum class SearchMode {
    // The system directory, then the windows directory, then the application directory.
    Full,
    ApplicationDirectoryOnly,
};

// What a search leaves behind: the path tried last and, when the file was
// measured there, its size and date.
struct Location {
    std::string path;
    std::optional<FileMeasurement> measurement;
};

// Finds a listed file and measures it, under the error state of the entry
// being checked. Each directory's failure replaces the pending error and a
// success leaves it alone; while the pending error is 53 (not found) the
// full search goes on to the next directory, and anything else ends it.
// So an error still pending from an earlier step of the entry decides when
// the first directory holds the file, and a miss there clears it.
Location locateFile(Runtime& runtime, std::string_view name, SearchMode mode, ErrorState& pending);

} // namespace deptest
