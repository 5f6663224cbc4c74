#include "verify/FileLocator.h"

#include "services/Runtime.h"
#include "verify/OrderedLookups.h"

#include <algorithm>
#include <utility>

namespace deptest {

namespace {

bool isNotFound(const Outcome& outcome) { return outcome && outcome->number == error::fileNotFound; }

// A directory without the name's folder does not hold the file either.
bool isNotHere(const Outcome& outcome)
{
    return outcome && (outcome->number == error::fileNotFound || outcome->number == error::pathNotFound);
}

} // namespace

void locateFile(Runtime& runtime, std::string_view name, SearchMode mode, Outcome pending, Located& found)
{
    // One path is built and measured per directory tried; only the last is
    // kept, so a search costs no more copies than the directories it tries.
    found.location.measurement.reset();
    found.outcome.reset();
    std::string& path = found.location.path;
    const auto measureIn = [&](std::string_view directory, std::string_view separator, Outcome entryState) {
        path.assign(directory);
        path.append(separator);
        path.append(name);
        Result<FileMeasurement> measured = runtime.measure(path);
        if (!measured) {
            found.location.measurement.reset();
            found.outcome = measured.error();
            return;
        }
        found.location.measurement = *measured;
        found.outcome = std::move(entryState);
    };
    if (mode == SearchMode::ApplicationDirectoryOnly) {
        measureIn(runtime.applicationDirectory(), "\\", std::move(pending));
        return;
    }
    path.reserve(std::max(systemDirectoryLiteral.size(), runtime.applicationDirectory().size() + 1) + name.size());
    measureIn(systemDirectoryLiteral, {}, std::move(pending));
    bool searched = isNotFound(found.outcome);
    if (isNotHere(found.outcome)) {
        measureIn(windowsDirectoryLiteral, {}, Outcome {});
        searched = searched || isNotFound(found.outcome);
    }
    if (isNotHere(found.outcome)) {
        measureIn(runtime.applicationDirectory(), "\\", Outcome {});
        searched = searched || isNotFound(found.outcome);
    }
    // "Path not found" only where no directory had the name's folder.
    if (searched && isNotHere(found.outcome))
        found.outcome = Error::of(error::fileNotFound);
}

int chooseLookupJobs(Runtime& runtime, unsigned processors)
{
    for (const std::string_view directory :
        { std::string_view(runtime.applicationDirectory()), systemDirectoryLiteral, windowsDirectoryLiteral }) {
        if (runtime.isRemoteDirectory(directory))
            return remoteLookupJobs;
    }
    return static_cast<int>(std::clamp(processors, 2U, static_cast<unsigned>(remoteLookupJobs)));
}

} // namespace deptest
