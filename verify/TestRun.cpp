#include "verify/TestRun.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "platform/Files.h"
#include "platform/LeadingNumber.h"
#include "platform/Runtime.h"
#include "platform/Window.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "verify/EntryCheck.h"
#include "verify/FileLocator.h"

namespace deptest {

namespace {

// Shows the message for a file that could not be opened and ends the program.
void failToOpen(Window& window, Runtime& runtime, const ErrorState& state, std::string_view notFoundMessage)
{
    runtime.showMessage(openFailureMessage(state, notFoundMessage));
    window.pressExit();
}

void measureEntry(Runtime& runtime, Entry& entry, SearchMode mode, ErrorState& state)
{
    Location location;
    locateFile(runtime, entry.name, mode, location, state);
    if (state.pending())
        return;
    entry.targetSize = location.size;
    foundFileDate(runtime, location, entry.targetDate, state);
}

} // namespace

void runTest(Window& window, Runtime& runtime)
{
    ErrorState state(ErrorMode::Continue);
    setButtonsEnabled(window, false);
    window.clear(ListBox::Matching);
    window.clear(ListBox::Missing);

    const std::string directory = runtime.applicationDirectory();
    auto referenceList = runtime.openForReading(dataFilePath(directory, dataFile::referenceList), state);
    if (state.pending()) {
        failToOpen(window, runtime, state, message::couldNotFindInDll);
        return;
    }
    auto exceptions = runtime.openForWriting(dataFilePath(directory, dataFile::exceptions), state);
    if (state.pending()) {
        failToOpen(window, runtime, state, message::couldNotFindOutDll);
        return;
    }

    RecordReader reader(*referenceList);
    RecordWriter writer(*exceptions);
    // Writes report here, never into the entry's state: a failed write (or
    // a reference list that breaks off) is shown once at the end instead of
    // being charged to the next entry.
    ErrorState lateFailure;
    const auto keepLateFailure = [&lateFailure](const ErrorState& write) { lateFailure.keepFirst(write); };

    {
        ErrorState write;
        writer.writeLine(exceptionsHeader, write);
        keepLateFailure(write);
    }

    while (!reader.atEnd()) {
        Entry entry;
        reader.readFields({ &entry.name, &entry.sizeText, &entry.originalDate }, state);
        leadingNumber(entry.sizeText, entry.originalSize, state);
        runtime.longDate(entry.originalDate, entry.originalDate, state);
        const SearchMode mode = window.appDirOnly() ? SearchMode::ApplicationDirectoryOnly : SearchMode::Full;
        measureEntry(runtime, entry, mode, state);

        ErrorState write;
        switch (judge(entry, state.pending())) {
        case Verdict::NotFound:
            window.append(ListBox::Missing, notFoundLine(entry.name, state.description()));
            writer.writeRecord({ entry.name, entry.originalSize, entry.originalDate, state.description() }, write);
            state.reset();
            break;
        case Verdict::Matching: window.append(ListBox::Matching, entry.name); break;
        case Verdict::Mismatch:
            window.append(ListBox::Missing, mismatchLine(entry.name));
            writer.writeRecord({ entry.name, entry.targetSize, entry.originalSize, entry.targetDate, entry.originalDate,
                                   mismatchError },
                write);
            break;
        }
        keepLateFailure(write);

        runtime.processEvents();
        if (window.isUnloaded())
            break;
    }

    lateFailure.keepFirst(reader.fileError()); // a list that could not be read to its end
    referenceList.reset();
    {
        ErrorState close;
        exceptions->close(close);
        keepLateFailure(close);
    }

    if (window.isUnloaded())
        return; // the window is gone: nobody is left to gate or tell
    setButtonsEnabled(window, true);
    if (lateFailure.pending())
        runtime.showMessage(generalErrorMessage(lateFailure));
}

} // namespace deptest
