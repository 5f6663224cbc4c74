#include "generate/ReferenceGeneration.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "platform/Files.h"
#include "platform/Runtime.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "verify/FileLocator.h"

namespace deptest {

void generateReference(Runtime& runtime)
{
    ErrorState state(ErrorMode::Continue);
    const std::string directory = runtime.applicationDirectory();

    auto nameList = runtime.openForReading(dataFilePath(directory, dataFile::nameList), state);
    if (state.pending()) {
        runtime.showMessage(openFailureMessage(state, message::couldNotFindDlls));
        return;
    }
    auto referenceList = runtime.openForWriting(dataFilePath(directory, dataFile::referenceList), state);
    if (state.pending()) {
        runtime.showMessage(openFailureMessage(state, message::couldNotFindInDll));
        return; // the name list closes on the way out
    }
    auto notFoundList = runtime.openForWriting(dataFilePath(directory, dataFile::notFoundList), state);
    if (state.pending()) {
        runtime.showMessage(generalErrorMessage(state));
        return;
    }

    RecordReader reader(*nameList);
    RecordWriter references(*referenceList);
    RecordWriter notFound(*notFoundList);
    // Failed writes gather here rather than in the name's state, so they are
    // not charged to the next name, and are shown once at the end.
    ErrorState lateFailure;

    while (!reader.atEnd()) {
        // Fresh values for every name: a name whose reading fails must not
        // be written with the previous name's values.
        std::string name;
        reader.readField(name, state);
        Location location;
        // The reference list writes names between quotes as they are, so a
        // name with a quote of its own would be read back as another name.
        if (name.find('"') == std::string::npos)
            locateFile(runtime, name, SearchMode::Full, location, state);
        else
            state.raise(error::badFileName);
        std::string dateText;
        if (!state.pending())
            foundFileDate(runtime, location, dateText, state);

        ErrorState write;
        if (state.pending()) {
            state.reset();
            notFound.writeRecord({ name }, write);
        } else {
            const std::string sizeText = std::to_string(location.size);
            references.writeRecord({ name, sizeText, dateText }, write);
        }
        lateFailure.keepFirst(write);
    }

    lateFailure.keepFirst(reader.fileError());
    nameList.reset();
    for (OutputFile* file : { referenceList.get(), notFoundList.get() }) {
        ErrorState close;
        file->close(close);
        lateFailure.keepFirst(close);
    }
    if (lateFailure.pending())
        runtime.showMessage(generalErrorMessage(lateFailure));
}

} // namespace deptest
