#pragma once

#include <functional>

namespace deptest {

class Runtime;
class Window;
struct EntryVerdict;

// Told about each entry as soon as it has been judged.
using EntryObserver = std::function<void(const EntryVerdict&)>;

// Who follows a run besides the window.
struct TestObserver {
    // Before the first entry: whether the run compares contents, that is
    // whether a digest list is there, read or not.
    std::function<void(bool comparesContents)> started {};
    EntryObserver judged {};
};

// The Test command: compares every entry of the reference list with the
// file found on this machine, fills lstMatching and lstMissing, and writes
// each entry that does not match to the exceptions file.
//
// Each entry is judged on its own reading and lookup; a failed write of the
// exceptions file is reported once, after the run. If either file cannot be
// opened the program ends through Exit. Closing the window ends the run
// after the current entry.
//
// With more than one job, that many entries' searches, measurements and
// digests are under way at once, while everything the run shows and
// writes comes out in the list's order, as with one; each entry is
// searched for as the check box says when its turn comes, as with one.
// `chosenLookupJobs` lets the program choose how many.
void runTest(Window& window, Runtime& runtime, const TestObserver& observer = {}, int jobs = 1);

} // namespace deptest
