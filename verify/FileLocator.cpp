#include "verify/FileLocator.h"

#include "services/Runtime.h"

#include <utility>

namespace deptest {

namespace {

// Measures one candidate path under the entry's error state.
Located measureAt(Runtime& runtime, std::string path, Outcome pending)
{
    Result<FileMeasurement> measured = runtime.measure(path);
    if (!measured)
        return { Location { std::move(path), std::nullopt }, measured.error() };
    return { Location { std::move(path), *measured }, std::move(pending) };
}

std::string inDirectory(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    path.append(name);
    return path;
}

bool isNotFound(const Outcome& outcome) { return outcome && outcome->number == error::fileNotFound; }

} // namespace

Located locateFile(Runtime& runtime, std::string_view name, SearchMode mode, Outcome pending)
{
    const std::string applicationDirectory = runtime.applicationDirectory() + "\\";
    if (mode == SearchMode::ApplicationDirectoryOnly)
        return measureAt(runtime, inDirectory(applicationDirectory, name), std::move(pending));
    Located found = measureAt(runtime, inDirectory(systemDirectoryLiteral, name), std::move(pending));
    for (const std::string_view next : { windowsDirectoryLiteral, std::string_view(applicationDirectory) }) {
        if (!isNotFound(found.outcome))
            break;
        found = measureAt(runtime, inDirectory(next, name), Outcome {});
    }
    return found;
}

} // namespace deptest
