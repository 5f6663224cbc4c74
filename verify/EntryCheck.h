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
};

// Checks one entry as read from the reference list: a failure anywhere
// (reading it, its size, finding or measuring the file) makes it not found,
// with that failure's description; otherwise the sizes and the long date
// texts must both be equal.
EntryVerdict checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode);

} // namespace deptest
