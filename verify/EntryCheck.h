#pragma once

#include "records/DataFiles.h"
#include "services/Window.h"
#include "verify/FileLocator.h"

#include <functional>
#include <optional>
#include <string>

namespace deptest {

class DigestList;
class Runtime;

// Whether an entry's contents were compared, and what came of it.
enum class ContentCheck {
    NotCompared, // no digest list, or the entry failed before (size, date, a file that could not be read)
    Same,
    Differ,
    NotListed, // the digest list has no line for the name: size and date only
};

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
    ContentCheck contents { ContentCheck::NotCompared };
    // The run was asked to end while the entry was being checked: it has
    // no verdict, and is neither shown nor written.
    bool stopped { false };
};

// The line of a name that was not found, in the window and on the command
// line alike: "name - Error: description".
std::string notFoundLine(const std::string& name, const std::string& description);

// What one entry asks of the file system: where its file is and, where it
// was taken ahead, the digest of its contents.
struct EntryLookup {
    Located search;
    std::optional<Result<ContentDigest>> digest;
};

// The lookups of one entry, which ask the runtime's files and nothing
// else, so that several entries' lookups may run at once: the search and,
// with `digestAhead`, the digest of a file found with the listed size
// (its date is compared later, with the rest, and a digest of a file whose
// date differs is not used). `betweenBlocks` is the digest's. `lookup`
// keeps its room from entry to entry.
void lookUpEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode, bool digestAhead, EntryLookup& lookup,
    const std::function<bool()>& betweenBlocks = {});

// Checks one entry as read from the reference list, on its lookup: a
// failure anywhere (reading it, its size, finding or measuring the file)
// makes it not found, with that failure's description; otherwise the sizes
// and the long date texts must both be equal, and where a digest list is
// given and has the name, the file's contents must have the listed digest:
// the file is read only then, unless its digest was taken with the lookup.
// Every part of `verdict` is replaced: a run checks its entries into one
// verdict, so its strings keep their room from entry to entry.
// `stopRequested`, asked while a large file is read, ends its reading when
// it answers true.
void judgeEntry(Runtime& runtime, const ReferenceRead& read, const EntryLookup& lookup, EntryVerdict& verdict,
    DigestList* digests = nullptr, const std::function<bool()>& stopRequested = {});

// Both in turn, on this thread.
void checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode, EntryVerdict& verdict,
    EntryLookup& lookup, DigestList* digests = nullptr, const std::function<bool()>& stopRequested = {});

} // namespace deptest
