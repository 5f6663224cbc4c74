#include "generate/ReferenceGeneration.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "services/Files.h"
#include "services/Runtime.h"
#include "verify/FileLocator.h"

namespace deptest {

namespace {

// Measures the listed name in `outcome` into its record, or the failure
// that puts it on the not-found list; `where` is left at the path tried
// last. The outcome's strings keep their room from name to name.
void measureName(Runtime& runtime, const Outcome& nameFailure, NameOutcome& outcome, Located& search)
{
    // The name's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending(nameFailure);
    // The reference list writes names between quotes as they are, so a
    // name with a quote of its own would be read back as another name.
    if (outcome.name.find('"') != std::string::npos)
        pending.raise(error::badFileName);
    outcome.where.clear();
    if (!pending.pending()) {
        locateFile(runtime, outcome.name, SearchMode::Full, Outcome {}, search);
        outcome.where.assign(search.location.path);
        pending.raise(search.outcome);
    }
    if (!pending.pending()) {
        ReferenceRecord& record = outcome.record ? *outcome.record : outcome.record.emplace();
        if (Outcome failure = runtime.longDate(search.location.measurement->modified, record.date))
            pending.raise(std::move(*failure));
        record.name.assign(outcome.name);
        record.size = std::to_string(search.location.measurement->size);
    }
    if (pending.pending()) {
        outcome.record.reset();
        outcome.failure = pending.error();
    } else {
        outcome.failure = Error {};
    }
}

// Writes a record for each listed name to one list or the other, until the
// name list ends or the observer stops the run (`stopped`). Failed writes
// gather in what it returns rather than in a name's state, so they are not
// charged to the next name, and are shown once at the end.
Outcome writeLists(Runtime& runtime, InputFile& nameList, OutputFile& referenceList, OutputFile& notFoundList,
    const NameObserver& observer, bool& stopped)
{
    RecordReader reader(nameList);
    RecordWriter references(referenceList);
    RecordWriter notFound(notFoundList);
    Outcome lateFailure;
    NameOutcome outcome;
    Located search;
    while (!stopped && !reader.atEndOfRecords()) {
        const Outcome nameFailure = readName(reader, outcome.name);
        measureName(runtime, nameFailure, outcome, search);
        if (outcome.record)
            lateFailure = firstFailure(std::move(lateFailure), writeReference(references, *outcome.record));
        else
            lateFailure = firstFailure(std::move(lateFailure), writeNotFoundName(notFound, outcome.name));
        if (observer)
            stopped = !observer(outcome);
    }
    return firstFailure(std::move(lateFailure), reader.fileError());
}

// Both lists are written out whole before either replaces its old version:
// after any failure up to there both old lists stay as they were, and the
// two that are put in place belong together.
Outcome putInPlace(OutputFile& referenceList, OutputFile& notFoundList)
{
    Outcome failure = referenceList.finish();
    if (!failure)
        failure = notFoundList.finish();
    if (!failure)
        failure = referenceList.close();
    if (!failure)
        failure = notFoundList.close();
    return failure;
}

} // namespace

void generateReference(Runtime& runtime, const NameObserver& observer)
{
    const std::string directory = runtime.applicationDirectory();

    auto nameList = runtime.openForReading(dataFilePath(directory, dataFile::nameList));
    if (!nameList) {
        runtime.showMessage(openFailureMessage(nameList.error(), message::couldNotFindDlls));
        return;
    }
    // Both lists are written as new versions that replace the old ones only
    // when the whole generation has gone well.
    auto referenceList = runtime.openForReplacing(dataFilePath(directory, dataFile::referenceList));
    if (!referenceList) {
        runtime.showMessage(openFailureMessage(referenceList.error(), message::couldNotFindInDll));
        return; // the name list closes on the way out
    }
    auto notFoundList = runtime.openForReplacing(dataFilePath(directory, dataFile::notFoundList));
    if (!notFoundList) {
        runtime.showMessage(generalErrorMessage(notFoundList.error()));
        return;
    }

    bool stopped = false;
    Outcome lateFailure = writeLists(runtime, **nameList, **referenceList, **notFoundList, observer, stopped);
    nameList->reset();
    if (stopped)
        return; // the new versions are dropped unclosed
    if (!lateFailure)
        lateFailure = putInPlace(**referenceList, **notFoundList);
    if (lateFailure)
        runtime.showMessage(generalErrorMessage(*lateFailure));
}

} // namespace deptest
