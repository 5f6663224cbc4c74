#pragma once

#include "records/DataFiles.h"
#include "services/Window.h"
#include "verify/FileLocator.h"

#include <optional>
#include <string>

namespace deptest {

class Runtime;

// What one reference entry comes to: the line for one of the two lists
// and, unless it matched, the exceptions record. Both come from the same
// decision, so the screen and the file never disagree.
struct EntryVerdict {
    ListBox list { ListBox::Matching };
    std::string line;
    // What the exceptions record says, for a line that did not match.
    std::string detail;
    std::optional<ExceptionRecord> exception;

    // What was compared, for whoever reports entries one by one: the path
    // the file was found at (or tried last) as the program names it, both
    // sides' size and long date, and the failure that made it not found
    // (number 0 otherwise).
    std::string name;
    std::string where;
    std::string originalSize;
    std::string originalDate;
    std::string targetSize;
    std::string targetDate;
    Error failure;
};

// Checks one entry as read from the reference list: a failure anywhere
// (reading it, its size, finding or measuring the file) makes it not found,
// with that failure's description; otherwise the sizes and the long date
// texts must both be equal. Every part of `verdict` is replaced: a run
// checks its entries into one verdict, so its strings keep their room from
// entry to entry; `search` is the room of the search.
// The line of a name that was not found, in the window and on the command
// line alike: "name - Error: description".
std::string notFoundLine(const std::string& name, const std::string& description);

void checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode, EntryVerdict& verdict, Located& search);

} // namespace deptest
