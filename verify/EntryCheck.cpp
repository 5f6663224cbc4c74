#include "verify/EntryCheck.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "records/DigestList.h"
#include "records/LeadingNumber.h"
#include "services/Runtime.h"

namespace deptest {

namespace {

void notFound(EntryVerdict& verdict, const Error& failure, const std::string& lastTried)
{
    verdict.list = ListBox::Missing;
    verdict.line = notFoundLine(verdict.name, failure.description);
    verdict.detail = "Looked for last as " + lastTried + "\n" + generalErrorMessage(failure);
    verdict.exception
        = NotFoundRecord { verdict.name, verdict.originalSize, verdict.originalDate, failure.description };
    verdict.failure = failure;
}

// Both measurements side by side, the one that differs marked; appended to
// `text`, whose room is kept from entry to entry.
void appendMismatchDetail(std::string& text, const MismatchRecord& record)
{
    const auto line
        = [&text](std::string_view what, const std::string& here, const std::string& there, std::string_view unit) {
              text.append(what).append(" here: ").append(here).append(unit);
              text.append("; on the reference machine: ").append(there).append(unit);
              if (here != there)
                  text += " (differs)";
          };
    line("Size", record.targetSize, record.originalSize, " bytes");
    text += '\n';
    line("Date", record.targetDate, record.originalDate, "");
}

// A file with the right size and date whose contents are not those of the
// reference machine, or cannot be told to be: a mismatch record with the
// reason, both sides' size and date as they were.
void contentsNotMatched(EntryVerdict& verdict, std::string_view reason)
{
    verdict.list = ListBox::Missing;
    verdict.line.assign(verdict.name).append(" - ").append(reason);
    auto& mismatch = std::get<MismatchRecord>(verdict.exception.emplace(MismatchRecord {
        verdict.name, verdict.targetSize, verdict.originalSize, verdict.targetDate, verdict.originalDate }));
    mismatch.error.assign(reason);
    verdict.detail.assign(reason).append("\n");
    appendMismatchDetail(verdict.detail, mismatch);
}

} // namespace

std::string notFoundLine(const std::string& name, const std::string& description)
{
    return name + " - Error: " + description;
}

namespace {

// The contents of a file that matched by size and date, against the
// digest list; the file is read only when the list has a digest for it
// and its lookup did not take it ahead.
void compareContents(Runtime& runtime, const ListedDigest* listed, const EntryLookup& lookup, EntryVerdict& verdict,
    const std::function<bool()>& stopRequested)
{
    if (listed == nullptr) {
        verdict.contents = ContentCheck::NotListed;
        return;
    }
    if (!listed->digest) {
        contentsNotMatched(verdict, std::string(message::noUsableDigest) + listed->problem);
        return;
    }
    const Location& location = lookup.search.location;
    // A large file takes a while: the window goes on answering meanwhile.
    const Result<ContentDigest> digest
        = lookup.digest ? *lookup.digest : runtime.digest(location.path, [&runtime, &stopRequested] {
              runtime.processEvents();
              return !stopRequested || !stopRequested();
          });
    if (!digest && stopRequested && stopRequested()) {
        verdict.stopped = true;
        return;
    }
    if (!digest) {
        verdict.targetSize.clear();
        verdict.targetDate.clear();
        notFound(verdict, digest.error(), runtime.displayPath(location.path));
        return;
    }
    if (*digest != *listed->digest) {
        verdict.contents = ContentCheck::Differ;
        contentsNotMatched(verdict, message::contentsDiffer);
        return;
    }
    verdict.contents = ContentCheck::Same;
}

// The size the reference list gives the entry, and the entry's error
// state after reading it.
std::int64_t listedSize(const ReferenceRead& read, ErrorState& pending)
{
    Result<std::int64_t> size = leadingNumber(read.record.size);
    if (size)
        return *size;
    pending.raise(size.error());
    return 0;
}

} // namespace

void lookUpEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode, bool digestAhead, EntryLookup& lookup,
    const std::function<bool()>& betweenBlocks)
{
    const ReferenceRecord& reference = read.record;
    Located& search = lookup.search;
    lookup.digest.reset();
    // A name longer than any path is no file's: it is not looked for.
    if (read.failure && read.failure->number == error::badFileName) {
        search.location.path.assign(reference.name);
        search.location.measurement.reset();
        search.outcome = read.failure;
        return;
    }
    // The entry's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending(read.failure);
    const std::int64_t size = listedSize(read, pending);
    locateFile(runtime, reference.name, mode, pending.outcome(), search);
    if (digestAhead && !read.failure && !search.outcome && search.location.measurement->size == size)
        lookup.digest = runtime.digest(search.location.path, betweenBlocks);
}

void judgeEntry(Runtime& runtime, const ReferenceRead& read, const EntryLookup& lookup, EntryVerdict& verdict,
    DigestList* digests, const std::function<bool()>& stopRequested)
{
    const ReferenceRecord& reference = read.record;
    ErrorState sizeRead(read.failure);
    const std::int64_t originalSize = listedSize(read, sizeRead);
    verdict.list = ListBox::Matching;
    verdict.detail.clear();
    verdict.exception.reset();
    verdict.failure = Error {};
    verdict.contents = ContentCheck::NotCompared;
    verdict.stopped = false;
    verdict.targetSize.clear();
    verdict.targetDate.clear();
    verdict.name = reference.name;
    verdict.originalDate = runtime.listDateAsLongDate(reference.date);
    verdict.originalSize = std::to_string(originalSize);
    // Asked for whatever comes of the entry: the name is the reference list's.
    const ListedDigest* listed = digests != nullptr ? digests->find(reference.name) : nullptr;

    const Location& location = lookup.search.location;
    ErrorState pending(lookup.search.outcome);
    // A record cut short is judged on the fields it lacks wherever its file
    // was found: it is not found, with the failure of the read.
    if (read.failure && !pending.pending())
        pending.raise(*read.failure);
    if (!pending.pending()) {
        if (Outcome failure = runtime.formatLongDate(location.measurement->modified, verdict.targetDate))
            pending.raise(std::move(*failure));
    }
    verdict.where = location.path;
    if (pending.pending()) {
        verdict.targetDate.clear();
        notFound(verdict, pending.error(), runtime.displayPath(location.path));
        return;
    }
    verdict.targetSize = std::to_string(location.measurement->size);
    if (location.measurement->size == originalSize && verdict.targetDate == verdict.originalDate) {
        verdict.line = reference.name;
        if (digests != nullptr)
            compareContents(runtime, listed, lookup, verdict, stopRequested);
        return;
    }
    verdict.list = ListBox::Missing;
    verdict.line.assign(reference.name).append(message::dateSizeNotMatched);
    const auto& mismatch = std::get<MismatchRecord>(verdict.exception.emplace(MismatchRecord {
        reference.name, verdict.targetSize, verdict.originalSize, verdict.targetDate, verdict.originalDate }));
    appendMismatchDetail(verdict.detail, mismatch);
}

void checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode, EntryVerdict& verdict,
    EntryLookup& lookup, DigestList* digests, const std::function<bool()>& stopRequested)
{
    lookUpEntry(runtime, read, mode, false, lookup);
    judgeEntry(runtime, read, lookup, verdict, digests, stopRequested);
}

} // namespace deptest
