#include "names/NameListCommand.h"

#include "names/NameList.h"
#include "records/DataFiles.h"
#include "services/Directories.h"
#include "services/Files.h"
#include "services/Runtime.h"

namespace deptest::names {

void offerNameList(Runtime& runtime, const std::vector<std::string>& files)
{
    // The test's three directories as this host names them.
    const std::string application = runtime.applicationDirectory();
    const NameListOptions options = hostNameListOptions(runtime.displayPath(systemDirectoryLiteral),
        runtime.displayPath(windowsDirectoryLiteral), runtime.displayPath(application + "\\"));
    NameListResult result = collectNames(files, options);

    std::string report;
    for (const std::string& line : result.messages())
        report += line + "\n";
    if (result.names.empty()) {
        runtime.showMessage(report);
        return;
    }
    if (!runtime.askYesNo("Write the names of the " + std::to_string(result.names.size())
            + " files these programs need to dlls.txt?"))
        return;
    auto output = runtime.openForReplacing(dataFilePath(application, dataFile::nameList));
    Outcome failure = output ? writeNames(result, **output) : Outcome(output.error());
    if (failure)
        runtime.showMessage(generalErrorMessage(*failure));
    else if (!report.empty())
        runtime.showMessage(report);
}

} // namespace deptest::names
