#pragma once

#include "errors/Error.h"
#include "names/DependencyWalker.h"

#include <string>
#include <vector>

namespace deptest {
class OutputFile;
}

namespace deptest::names {

// Where the test run looks for a listed name, in its order: the host's
// system directory, its windows directory and the application directory.
struct NameListOptions {
    std::vector<std::string> searchDirectories;
    LoaderOptions loader;
};

struct Unresolved {
    std::string name;
    std::string neededBy;
};

// What making the list gave. The list holds the given files, then every
// library they need, each once and as the test run's search finds it;
// names the loader would not find are listed too, so they show as missing.
struct NameListResult {
    std::vector<std::string> names;
    // Libraries the loader would not find.
    std::vector<Unresolved> unresolved;
    // Files found that the test run's search cannot reach, or whose names
    // the list cannot hold: left out of the list.
    std::vector<FileProblem> unlisted;
    // Given files (or libraries) that are no executables or cannot be read.
    std::vector<FileProblem> fileErrors;
    // API sets the programs need: no file has their name, so they are left
    // out, and that is no fault.
    std::vector<Unresolved> apiSets;
    // Why the list could not be written, if it could not.
    Outcome writeFailure;

    // 0 when every dependency was resolved and listed, 1 when some were
    // not, 2 when a file could not be read or the list not written.
    int exitStatus() const;

    // A line for the user about each file that could not be read, each
    // library not found, each one left out and each API set, in that order.
    std::vector<std::string> messages() const;
};

// The options of this host: the test's three directories as host
// directories, each ending in a separator, and this machine's loaders
// (the Windows one looking in the system and windows directories).
NameListOptions hostNameListOptions(
    const std::string& systemDirectory, const std::string& windowsDirectory, const std::string& applicationDirectory);

// The names the given programs and libraries need, without writing them.
NameListResult collectNames(const std::vector<std::string>& files, const NameListOptions& options);

// Writes the names collected, closing the file only when every one was
// written.
Outcome writeNames(const NameListResult& result, OutputFile& output);

} // namespace deptest::names
