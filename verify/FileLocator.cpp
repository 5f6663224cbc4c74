#include "verify/FileLocator.h"

#include "errors/ErrorState.h"
#include "services/Runtime.h"

namespace deptest {

namespace {

// Measures one candidate path under the entry's error state.
void tryPath(Runtime& runtime, std::string path, Location& location, ErrorState& pending)
{
    location.path = std::move(path);
    Result<FileMeasurement> measured = runtime.measure(location.path);
    if (!measured) {
        pending.raise(measured.error());
        return;
    }
    location.measurement = *measured;
}

std::string inDirectory(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    path.append(name);
    return path;
}

} // namespace

Location locateFile(Runtime& runtime, std::string_view name, SearchMode mode, ErrorState& pending)
{
    const std::string applicationDirectory = runtime.applicationDirectory() + "\\";
    Location location;
    if (mode == SearchMode::ApplicationDirectoryOnly) {
        tryPath(runtime, inDirectory(applicationDirectory, name), location, pending);
        return location;
    }
    tryPath(runtime, inDirectory(systemDirectoryLiteral, name), location, pending);
    for (const std::string_view next : { windowsDirectoryLiteral, std::string_view(applicationDirectory) }) {
        if (pending.number() != error::fileNotFound)
            break;
        pending.reset();
        tryPath(runtime, inDirectory(next, name), location, pending);
    }
    return location;
}

} // namespace deptest
