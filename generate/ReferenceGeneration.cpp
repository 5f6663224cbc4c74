#include "generate/ReferenceGeneration.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "services/Files.h"
#include "services/Runtime.h"
#include "signing/Minisign.h"
#include "verify/FileLocator.h"
#include "verify/OrderedLookups.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

namespace deptest {

namespace {

// What one listed name asks of the file system: where its file is and,
// where it was taken ahead, the digest of its contents.
struct NameLookup {
    Located search;
    std::optional<Result<ContentDigest>> digest;
};

// The reference list writes names between quotes as they are, so a name
// with a quote of its own would be read back as another name.
bool quoted(const std::string& name) { return name.find('"') != std::string::npos; }

// The lookups of one name, which ask the runtime's files and nothing else,
// so that several names' lookups may run at once: the full search and,
// with `digestAhead`, the digest of the file found. A name that was not
// read whole, or has a quote, is not looked for.
void lookUpName(Runtime& runtime, const std::string& name, const Outcome& nameFailure, bool digestAhead,
    NameLookup& lookup, const std::function<bool()>& betweenBlocks = {})
{
    lookup.digest.reset();
    if (nameFailure || quoted(name))
        return;
    locateFile(runtime, name, SearchMode::Full, Outcome {}, lookup.search);
    if (digestAhead && !lookup.search.outcome)
        lookup.digest = runtime.digest(lookup.search.location.path, betweenBlocks);
}

// Makes the listed name in `outcome` its record, or the failure that puts
// it on the not-found list, from its lookup; `where` is left at the path
// tried last. The digest is taken here unless the lookup took it. The
// outcome's strings keep their room from name to name.
void measureName(
    Runtime& runtime, const Outcome& nameFailure, bool withDigest, const NameLookup& lookup, NameOutcome& outcome)
{
    // The name's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending(nameFailure);
    if (quoted(outcome.name))
        pending.raise(error::badFileName);
    outcome.where.clear();
    const Location& location = lookup.search.location;
    if (!pending.pending()) {
        outcome.where.assign(location.path);
        pending.raise(lookup.search.outcome);
    }
    if (!pending.pending()) {
        ReferenceRecord& record = outcome.record ? *outcome.record : outcome.record.emplace();
        if (Outcome failure = runtime.formatLongDate(location.measurement->modified, record.date))
            pending.raise(std::move(*failure));
        record.name.assign(outcome.name);
        record.size = std::to_string(location.measurement->size);
    }
    outcome.digest.reset();
    if (withDigest && !pending.pending()) {
        if (Result<ContentDigest> digest = lookup.digest ? *lookup.digest : runtime.digest(location.path, {}))
            outcome.digest = *digest;
        else
            pending.raise(digest.error());
    }
    if (pending.pending()) {
        outcome.record.reset();
        outcome.digest.reset();
        outcome.failure = pending.error();
    } else {
        outcome.failure = Error {};
    }
}

// A list being written that keeps a copy of its bytes when it is signed.
class KeptOutput final : public OutputFile {
public:
    KeptOutput(std::unique_ptr<OutputFile> file, bool keep)
        : m_file(std::move(file))
        , m_keep(keep)
    {
    }
    Outcome write(std::string_view bytes) override
    {
        if (m_keep)
            kept.append(bytes);
        return m_file->write(bytes);
    }
    Outcome finish() override { return m_file->finish(); }
    Outcome close() override { return m_file->close(); }

    std::string kept;

private:
    std::unique_ptr<OutputFile> m_file;
    bool m_keep;
};

// The lists a generation writes; the digest list only when it is made.
struct NewLists {
    std::unique_ptr<OutputFile> references;
    std::unique_ptr<OutputFile> notFound;
    std::unique_ptr<OutputFile> digests;
};

// The signatures of the new lists, written whole beside them as new
// versions; empty where nothing is signed. Its files close after the lists.
Result<std::vector<std::unique_ptr<OutputFile>>> writeSignatures(
    Runtime& runtime, const NewLists& lists, const ListSigning& signing, const std::string& directory)
{
    std::vector<std::unique_ptr<OutputFile>> signatures;
    if (!signing.key)
        return signatures;
    const std::pair<OutputFile*, std::string_view> signedLists[] {
        { lists.references.get(), dataFile::referenceSignature }, { lists.digests.get(), dataFile::digestSignature }
    };
    for (const auto& [list, signatureLiteral] : signedLists) {
        if (list == nullptr)
            continue;
        auto file = runtime.openForReplacing(dataFilePath(directory, signatureLiteral));
        if (!file)
            return file.error();
        const std::string& bytes = static_cast<KeptOutput*>(list)->kept;
        const std::string untrusted = "signature of "
            + std::string(signatureLiteral.substr(1, signatureLiteral.size() - 9)) + " from deptest, key "
            + signing::keyIdText(signing.key->id);
        if (Outcome failure = (*file)->write(
                signing::signatureText(signing::sign(*signing.key, bytes, signing.trustedComment, untrusted))))
            return *failure;
        if (Outcome failure = (*file)->finish())
            return *failure;
        signatures.push_back(std::move(*file));
    }
    return signatures;
}

// The lists' records of one name, in the list's order.
class ListWriters {
public:
    explicit ListWriters(const NewLists& lists)
        : m_references(*lists.references)
        , m_notFound(*lists.notFound)
        , m_digests(lists.digests.get())
    {
    }
    // Writes the name's record to one list or the other and, when it is
    // made, the digest of its file to the digest list, once per name.
    // Failed writes gather in `lateFailure` rather than in a name's state,
    // so they are not charged to the next name.
    void write(const NameOutcome& outcome, Outcome& lateFailure)
    {
        if (outcome.record)
            lateFailure = firstFailure(std::move(lateFailure), writeReference(m_references, *outcome.record));
        if (outcome.digest && m_digestsWritten.insert(outcome.name).second)
            lateFailure
                = firstFailure(std::move(lateFailure), m_digests->write(digestLine(outcome.name, *outcome.digest)));
        if (!outcome.record)
            lateFailure = firstFailure(std::move(lateFailure), writeNotFoundName(m_notFound, outcome.name));
    }

private:
    RecordWriter m_references;
    RecordWriter m_notFound;
    OutputFile* m_digests;
    std::unordered_set<std::string> m_digestsWritten;
};

// A name as read, and what its lookup found.
struct NameInFlight {
    std::string name;
    Outcome failure;
    NameLookup lookup;
};

// Writes the records of the listed names, each looked up in turn or, with
// several jobs, that many at once, until the name list ends or the
// observer stops the run (`stopped`). Failed writes are returned, to be
// shown once at the end.
Outcome writeLists(
    Runtime& runtime, InputFile& nameList, const NewLists& lists, const NameObserver& observer, int jobs, bool& stopped)
{
    RecordReader reader(nameList);
    ListWriters writers(lists);
    const bool withDigest = lists.digests != nullptr;
    Outcome lateFailure;
    NameOutcome outcome;
    const auto write = [&] {
        writers.write(outcome, lateFailure);
        if (observer)
            stopped = !observer(outcome);
    };
    if (jobs <= 1) {
        NameLookup lookup;
        while (!stopped && !reader.atEndOfRecords()) {
            const Outcome nameFailure = readName(reader, outcome.name);
            lookUpName(runtime, outcome.name, nameFailure, false, lookup);
            measureName(runtime, nameFailure, withDigest, lookup, outcome);
            write();
        }
        return firstFailure(std::move(lateFailure), reader.fileError());
    }
    const std::function<bool(NameInFlight&)> read = [&reader](NameInFlight& entry) {
        if (reader.atEndOfRecords())
            return false;
        entry.failure = readName(reader, entry.name);
        return true;
    };
    const std::function<void(NameInFlight&, const std::stop_token&)> lookUp
        = [&runtime, withDigest](NameInFlight& entry, const std::stop_token& stop) {
              lookUpName(runtime, entry.name, entry.failure, withDigest, entry.lookup,
                  [&stop] { return !stop.stop_requested(); });
          };
    const std::function<bool(NameInFlight&)> take = [&](NameInFlight& entry) {
        outcome.name = entry.name;
        measureName(runtime, entry.failure, withDigest, entry.lookup, outcome);
        write();
        return !stopped;
    };
    // The generation handles no events of its own, in turn or not.
    lookUpInOrder(std::min(jobs, mostLookupJobs), read, lookUp, take, {}, std::chrono::seconds(1));
    return firstFailure(std::move(lateFailure), reader.fileError());
}

// A signature beside a list about to be replaced or removed would no
// longer match it: unless a new one is written, it goes before the list.
Outcome removeSignatures(Runtime& runtime, const NewLists& lists, DigestChoice digests, const ListSigning& signing,
    const std::string& directory)
{
    const bool digestsGo = lists.digests != nullptr || digests == DigestChoice::Remove;
    const bool digestsSigned = signing.key && lists.digests != nullptr;
    for (const auto& [literal, goes] : { std::pair { dataFile::referenceSignature, !signing.key },
             std::pair { dataFile::digestSignature, digestsGo && !digestsSigned } }) {
        const std::string path = dataFilePath(directory, literal);
        if (!goes || !runtime.measure(path))
            continue;
        if (Outcome failure = runtime.remove(path))
            return failure;
        if (signing.removed)
            signing.removed(dataFile::nameOf(literal));
    }
    return {};
}

// Every list is written out whole before any replaces its old version:
// after any failure up to there the old lists stay as they were, and those
// that are put in place belong together. A digest list no longer wanted
// goes first, so that none is left beside lists it does not describe.
// Signatures follow their lists: a list put in place before its signature
// is refused where a key is trusted, never passed.
Outcome putInPlace(Runtime& runtime, const NewLists& lists, DigestChoice digests, const ListSigning& signing,
    const std::string& directory)
{
    std::vector<OutputFile*> files { lists.references.get(), lists.notFound.get() };
    if (lists.digests)
        files.push_back(lists.digests.get());
    for (OutputFile* file : files) {
        if (Outcome failure = file->finish())
            return failure;
    }
    auto signatures = writeSignatures(runtime, lists, signing, directory);
    if (!signatures)
        return signatures.error();
    for (const auto& signature : *signatures)
        files.push_back(signature.get());
    if (Outcome failure = removeSignatures(runtime, lists, digests, signing, directory))
        return failure;
    if (digests == DigestChoice::Remove) {
        if (Outcome failure = runtime.remove(dataFilePath(directory, dataFile::digestList)))
            return failure;
    }
    for (OutputFile* file : files) {
        if (Outcome failure = file->close())
            return failure;
    }
    return {};
}

} // namespace

void generateReference(
    Runtime& runtime, const NameObserver& observer, DigestChoice digests, const ListSigning& signing, int jobs)
{
    // Nothing is read or replaced while another run has the lists.
    auto lock = runtime.lockLists();
    if (!lock) {
        runtime.showMessage(generalErrorMessage(lock.error()));
        return;
    }
    if (jobs == chosenLookupJobs)
        jobs = chooseLookupJobs(runtime, std::thread::hardware_concurrency());
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
    // A list that is signed keeps its bytes for its signature.
    const auto kept = [&signing](std::unique_ptr<OutputFile> file) {
        return std::make_unique<KeptOutput>(std::move(file), signing.key.has_value());
    };
    NewLists lists { kept(std::move(*referenceList)), std::move(*notFoundList), nullptr };
    // A digest list that is there is kept current.
    const std::string digestPath = dataFilePath(directory, dataFile::digestList);
    if (digests == DigestChoice::Make || (digests == DigestChoice::AsFound && runtime.measure(digestPath).ok())) {
        auto digestList = runtime.openForReplacing(digestPath);
        if (!digestList) {
            runtime.showMessage(generalErrorMessage(digestList.error()));
            return;
        }
        lists.digests = kept(std::move(*digestList));
    }

    bool stopped = false;
    Outcome lateFailure = writeLists(runtime, **nameList, lists, observer, jobs, stopped);
    nameList->reset();
    if (stopped)
        return; // the new versions are dropped unclosed
    if (!lateFailure)
        lateFailure = putInPlace(runtime, lists, digests, signing, directory);
    if (lateFailure)
        runtime.showMessage(generalErrorMessage(*lateFailure));
}

Result<ListSigning> configuredSigning(Runtime& runtime)
{
    ListSigning signing;
    auto file = runtime.signingKeyFile();
    if (!file)
        return file.error();
    if (!*file)
        return signing;
    const std::string& path = (*file)->path;
    const auto refused = [&path](const Error& why) { return Error { why.number, path + ": " + why.description }; };
    const Result<signing::SecretKeyFile> sealed = signing::readSecretKey((*file)->text);
    if (!sealed)
        return refused(sealed.error());
    std::string password;
    if (sealed->scrypt) {
        std::optional<std::string> given = runtime.askPassword(message::passwordPrompt(path));
        if (!given)
            return Error { error::pathFileAccess, message::noPasswordGiven(path) };
        password = std::move(*given);
    }
    Result<signing::SecretKey> key = signing::openSecretKey(*sealed, password);
    if (!key)
        return refused(key.error());
    signing.key = *key;
    signing.trustedComment = runtime.signatureComment();
    return signing;
}

} // namespace deptest
