#include "verify/FileLocator.h"

#include "services/Runtime.h"

#include <algorithm>
#include <utility>

namespace deptest {

namespace {

bool isNotFound(const Outcome& outcome) { return outcome && outcome->number == error::fileNotFound; }

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
    if (isNotFound(found.outcome))
        measureIn(windowsDirectoryLiteral, {}, Outcome {});
    if (isNotFound(found.outcome))
        measureIn(runtime.applicationDirectory(), "\\", Outcome {});
}

} // namespace deptest
