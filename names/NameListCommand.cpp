#include "names/NameListCommand.h"

#include "names/NameList.h"
#include "records/DataFiles.h"
#include "services/Directories.h"
#include "services/Files.h"
#include "services/Runtime.h"

namespace deptest::names {

namespace {

// The test's three directories as this host names them.
NameListOptions hostOptions(const Runtime& runtime)
{
    return hostNameListOptions(runtime.displayPath(systemDirectoryLiteral),
        runtime.displayPath(windowsDirectoryLiteral), runtime.displayPath(runtime.applicationDirectory() + "\\"));
}

} // namespace

bool canReadNameLists() { return true; }

void offerNameList(Runtime& runtime, const std::vector<std::string>& files)
{
    const std::string application = runtime.applicationDirectory();
    NameListResult result = collectNames(files, hostOptions(runtime));

    std::string report;
    for (const std::string& line : result.messages())
        report += line + "\n";
    if (result.names.empty()) {
        runtime.showMessage(report);
        return;
    }
    if (!runtime.askYesNo("Write the names of the " + std::to_string(result.names.size())
            + " files these programs need to " + std::string(dataFile::nameOf(dataFile::nameList)) + "?"))
        return;
    // The name list is one of the run's lists: not written while a run has them.
    const auto lock = runtime.lockLists();
    if (!lock) {
        runtime.showMessage(generalErrorMessage(lock.error()));
        return;
    }
    auto output = runtime.openForReplacing(dataFilePath(application, dataFile::nameList));
    Outcome failure = output ? writeNames(result, **output) : Outcome(output.error());
    if (failure)
        runtime.showMessage(generalErrorMessage(*failure));
    else if (!report.empty())
        runtime.showMessage(report);
}

int runNameListCommand(Runtime& runtime, const NameListRequest& request, OutputFile& standardOutput)
{
    NameListOptions settings = hostOptions(runtime);
    if (request.libraryPath)
        settings.loader.libraryPath = *request.libraryPath;
    NameListResult result = collectNames(request.programs, settings);
    for (const std::string& line : result.messages())
        runtime.showMessage("deptest: " + line);
    if (result.names.empty())
        return 2;

    // The name list in the application directory is one of the run's lists:
    // not written while a run has them.
    Result<std::unique_ptr<ListsLock>> lock = std::unique_ptr<ListsLock>();
    if (!request.toStandardOutput && request.output.empty())
        lock = runtime.lockLists();
    Result<std::unique_ptr<OutputFile>> file = std::unique_ptr<OutputFile>();
    if (!lock) {
        file = lock.error();
    } else if (!request.toStandardOutput) {
        file = runtime.openForReplacing(
            request.output.empty() ? dataFilePath(runtime.applicationDirectory(), dataFile::nameList) : request.output);
    }
    result.writeFailure = !file ? Outcome(file.error())
        : *file                 ? writeNames(result, **file)
                                : writeNames(result, standardOutput);
    if (result.writeFailure)
        runtime.showMessage(generalErrorMessage(*result.writeFailure));
    return result.exitStatus();
}

} // namespace deptest::names
