#pragma once

#include "records/DataFiles.h"

#include <functional>
#include <optional>
#include <string>

namespace deptest {

class Runtime;

// What one listed name came to: its reference record, or the failure that
// put it on the not-found list; `where` is the path found at or tried last,
// as the program names it.
struct NameOutcome {
    std::string name;
    std::string where;
    std::optional<ReferenceRecord> record;
    Error failure;
};
// Returns whether to go on with the next name.
using NameObserver = std::function<bool(const NameOutcome&)>;

// The hidden Ctrl+B command: measures every file named in the name list
// with the full search and writes a reference record for each one found
// and a not-found record for each one that is not. It touches no list of
// the window and is silent when it succeeds; a failed write is reported
// once at its end. An observer that asks to stop ends it after the name
// at hand, and both old lists stay as they were.
void generateReference(Runtime& runtime, const NameObserver& observer = {});

} // namespace deptest
