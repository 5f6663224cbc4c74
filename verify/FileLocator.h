#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace deptest {

class ErrorState;
class Runtime;

enum class SearchMode {
    // The system directory, then the windows directory, then the application directory.
    Full,
    ApplicationDirectoryOnly,
};

// What a search leaves behind for its caller: the path tried last and the
// size from the last measurement that succeeded. The error state tells
// whether the file was found.
struct Location {
    std::string path;
    std::int64_t size { 0 };
};

// Finds a listed file and measures its size. A not-found (53) sends the
// full search on to the next directory; any other error ends it where it
// stands. The tests look at the error state as a whole, so an error still
// pending from before the search takes part in those decisions.
void locateFile(Runtime& runtime, std::string_view name, SearchMode mode, Location& location, ErrorState& state);

// The long date text of the file a search found. The file may have gone
// since: a failure here belongs to the entry being measured.
void foundFileDate(Runtime& runtime, const Location& location, std::string& dateText, ErrorState& state);

} // namespace deptest
