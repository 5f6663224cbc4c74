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

// Measures one listed name: its reference record, or why there is none;
// `where` is left at the path tried last.
Result<ReferenceRecord> measureName(Runtime& runtime, const Result<std::string>& name, std::string& where)
{
    // The name's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending(name.failure());
    static const std::string nothing;
    const std::string& listed = name ? *name : nothing;
    // The reference list writes names between quotes as they are, so a
    // name with a quote of its own would be read back as another name.
    if (listed.find('"') != std::string::npos)
        pending.raise(error::badFileName);
    if (pending.pending())
        return pending.error();
    Located found = locateFile(runtime, listed, SearchMode::Full);
    where = std::move(found.location.path);
    if (found.outcome)
        return *found.outcome;
    const Location& location = found.location;
    Result<std::string> date = runtime.longDate(location.measurement->modified);
    if (!date)
        return date.error();
    return ReferenceRecord { listed, std::to_string(location.measurement->size), std::move(date).value() };
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

    RecordReader reader(**nameList);
    RecordWriter references(**referenceList);
    RecordWriter notFound(**notFoundList);
    // Failed writes gather here rather than in a name's state, so they are
    // not charged to the next name, and are shown once at the end.
    Outcome lateFailure;

    bool stopped = false;
    while (!stopped && !reader.atEndOfRecords()) {
        const Result<std::string> name = readName(reader);
        std::string where;
        Result<ReferenceRecord> record = measureName(runtime, name, where);
        if (record)
            lateFailure = firstFailure(std::move(lateFailure), writeReference(references, *record));
        else
            lateFailure
                = firstFailure(std::move(lateFailure), writeNotFoundName(notFound, name ? *name : std::string()));
        if (observer) {
            NameOutcome outcome { name ? *name : std::string(), std::move(where), std::nullopt, {} };
            if (record)
                outcome.record = std::move(record).value();
            else
                outcome.failure = record.error();
            stopped = !observer(outcome);
        }
    }

    lateFailure = firstFailure(std::move(lateFailure), reader.fileError());
    nameList->reset();
    if (stopped)
        return; // the new versions are dropped unclosed
    // Both lists are written out whole before either replaces its old
    // version: after any failure up to there both old lists stay as they
    // were, and the two that are put in place belong together.
    if (!lateFailure)
        lateFailure = (*referenceList)->finish();
    if (!lateFailure)
        lateFailure = (*notFoundList)->finish();
    if (!lateFailure)
        lateFailure = (*referenceList)->close();
    if (!lateFailure)
        lateFailure = (*notFoundList)->close();
    if (lateFailure)
        runtime.showMessage(generalErrorMessage(*lateFailure));
}

} // namespace deptest
