#include "verify/TestRun.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "services/Files.h"
#include "services/Runtime.h"
#include "services/Window.h"
#include "verify/EntryCheck.h"

#include <string>
#include <unordered_set>
#include <vector>

namespace deptest {

namespace {

// Shows the message for a file that could not be opened and ends the program.
void failToOpen(Window& window, Runtime& runtime, const Error& failure, std::string_view notFoundMessage)
{
    runtime.showMessage(openFailureMessage(failure, notFoundMessage));
    window.pressExit();
}

// Shows the run the list's date texts before the first entry is compared,
// so that the list's language and code page come from all of them and
// nothing from a list read before. A list that cannot be read here is
// still reported by the run itself.
void studyDates(Runtime& runtime, const std::string& path)
{
    // Each text once, in the order the list first gives it: the study
    // learns nothing from a text it has seen, and most entries repeat the
    // date of the one before. A list holds few distinct days; one of
    // countless distinct texts has shown its language long before their
    // end, and what a run keeps stays small.
    constexpr std::size_t mostTexts = 65536;
    std::vector<std::string> dates;
    std::unordered_set<std::string> seen;
    if (auto list = runtime.openForReading(path)) {
        RecordReader reader(**list);
        ReferenceRead read;
        while (dates.size() < mostTexts && !reader.atEndOfRecords() && !reader.fileError()) {
            readReference(reader, read);
            const std::string& date = read.record.date;
            if ((dates.empty() || dates.back() != date) && seen.insert(date).second)
                dates.push_back(date);
        }
    }
    runtime.startList(dates);
}

} // namespace

void runTest(Window& window, Runtime& runtime, const EntryObserver& observer)
{
    setButtonsEnabled(window, false);
    window.clear(ListBox::Matching);
    window.clear(ListBox::Missing);

    const std::string directory = runtime.applicationDirectory();
    auto referenceList = runtime.openForReading(dataFilePath(directory, dataFile::referenceList));
    if (!referenceList) {
        failToOpen(window, runtime, referenceList.error(), message::couldNotFindInDll);
        return;
    }
    auto exceptions = runtime.openForWriting(dataFilePath(directory, dataFile::exceptions));
    if (!exceptions) {
        failToOpen(window, runtime, exceptions.error(), message::couldNotFindOutDll);
        return;
    }

    studyDates(runtime, dataFilePath(directory, dataFile::referenceList));
    RecordReader reader(**referenceList);
    RecordWriter writer(**exceptions);
    // Failed writes (and a reference list that breaks off) gather here, not
    // in an entry's state: they are shown once at the end instead of being
    // charged to the next entry.
    Outcome lateFailure = writer.writeLine(exceptionsHeader);

    // Their strings are reused from entry to entry.
    ReferenceRead read;
    EntryVerdict verdict;
    Located search;
    while (!reader.atEndOfRecords()) {
        readReference(reader, read);
        const SearchMode mode = window.appDirOnly() ? SearchMode::ApplicationDirectoryOnly : SearchMode::Full;
        checkEntry(runtime, read, mode, verdict, search);
        window.append(verdict.list, verdict.line, verdict.detail);
        if (verdict.exception)
            lateFailure = firstFailure(std::move(lateFailure), writeException(writer, *verdict.exception));
        if (observer)
            observer(verdict);

        runtime.processEvents();
        if (window.isUnloaded())
            break;
    }

    lateFailure = firstFailure(std::move(lateFailure), reader.fileError()); // a list that could not be read to its end
    referenceList->reset();
    lateFailure = firstFailure(std::move(lateFailure), (*exceptions)->close());

    if (window.isUnloaded())
        return; // the window is gone: nobody is left to gate or tell
    setButtonsEnabled(window, true);
    if (lateFailure)
        runtime.showMessage(generalErrorMessage(*lateFailure));
}

} // namespace deptest
