#include "verify/FileLocator.h"

#include "errors/ErrorState.h"
#include "platform/HostDirectories.h"
#include "platform/Runtime.h"

namespace deptest {

namespace {

void measure(Runtime& runtime, std::string path, Location& location, ErrorState& state)
{
    location.path = std::move(path);
    runtime.fileSize(location.path, location.size, state);
}

std::string inDirectory(std::string_view directory, std::string_view name)
{
    std::string path(directory);
    path.append(name);
    return path;
}

} // namespace

void locateFile(Runtime& runtime, std::string_view name, SearchMode mode, Location& location, ErrorState& state)
{
    const std::string applicationDirectory = runtime.applicationDirectory() + "\\";
    if (mode == SearchMode::ApplicationDirectoryOnly) {
        measure(runtime, inDirectory(applicationDirectory, name), location, state);
        return;
    }
    measure(runtime, inDirectory(systemDirectoryLiteral, name), location, state);
    if (state.number() == error::fileNotFound) {
        state.reset();
        measure(runtime, inDirectory(windowsDirectoryLiteral, name), location, state);
    }
    if (state.number() == error::fileNotFound) {
        state.reset();
        measure(runtime, inDirectory(applicationDirectory, name), location, state);
    }
}

void foundFileDate(Runtime& runtime, const Location& location, std::string& dateText, ErrorState& state)
{
    FileTime modified;
    ErrorState measuring;
    runtime.fileTime(location.path, modified, measuring);
    if (!measuring.pending())
        runtime.longDate(modified, dateText, measuring);
    if (measuring.pending())
        state.raise(measuring.number(), measuring.description());
}

} // namespace deptest
