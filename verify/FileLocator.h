#pragma once

#include "errors/Error.h"
#include "services/Directories.h"
#include "services/FileMeasurement.h"

#include <optional>
#include <string>
#include <string_view>

namespace deptest {

class Runtime;

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

// A search's location and the entry's error state after it.
struct Located {
    Location location;
    Outcome outcome;
};

// Finds a listed file and measures it, under the error state `pending` of
// the entry being checked. Each directory's failure replaces the pending
// error and a success leaves it alone; while the pending error is 53 (not
// found) or 76 (the directory lacks the name's folder, so it cannot hold
// the file either) the full search goes on to the next directory, and
// anything else ends it. A search that ends on 76 after a directory that
// had the folder answers 53: 76 means no directory could be searched. So
// an error still pending from an earlier step of the entry decides when
// the first directory holds the file, and a miss there clears it. The
// result is written into `found`, whose path keeps its room from one
// entry to the next.
void locateFile(Runtime& runtime, std::string_view name, SearchMode mode, Outcome pending, Located& found);

// How many lookups a command keeps under way when it is not told: many
// where a directory the search looks in is on a share, whose every request
// waits for the server; otherwise one per processor (at least two), which
// keeps a warm local disk's lookups going without threads that only wait
// for their turn.
int chooseLookupJobs(Runtime& runtime, unsigned processors);

} // namespace deptest
