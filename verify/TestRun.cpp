#include "verify/TestRun.h"

#include "errors/ErrorState.h"
#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "records/TextFile.h"
#include "services/Files.h"
#include "services/Runtime.h"
#include "services/Window.h"
#include "verify/EntryCheck.h"
#include "verify/FileLocator.h"
#include "verify/OrderedLookups.h"
#include "verify/SignedLists.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace deptest {

namespace {

// Shows the message for a file that could not be opened and presses Exit:
// the program ends once the run has returned.
void failToOpen(Window& window, Runtime& runtime, const Error& failure, std::string_view notFoundMessage)
{
    runtime.showMessage(openFailureMessage(failure, notFoundMessage));
    window.pressExit();
}

// Gives the runtime the list's date texts before the first entry is compared,
// so that the list's language and code page come from all of them and
// nothing from a list read before. The list is then read again from its
// start: what was studied is what is checked, and a list that changed
// in between is a failure. A request to end is answered here too.
Outcome studyDates(Window& window, Runtime& runtime, InputFile& list)
{
    // Each text once, in the order the list first gives it: the study
    // learns nothing from a text it has seen, and most entries repeat the
    // date of the one before. A list holds few distinct days; one of
    // countless distinct texts has shown its language long before their
    // end, and what a run keeps stays small.
    constexpr std::size_t mostTexts = 65536;
    constexpr std::size_t recordsBetweenEvents = 4096;
    std::vector<std::string> dates;
    std::unordered_set<std::string> seen;
    {
        RecordReader reader(list);
        ReferenceRead read;
        for (std::size_t records = 1;
             dates.size() < mostTexts && !reader.atEndOfRecords() && !reader.fileError() && !window.isUnloaded();
             ++records) {
            readReference(reader, read);
            const std::string& date = read.record.date;
            if ((dates.empty() || dates.back() != date) && seen.insert(date).second)
                dates.push_back(date);
            if (records % recordsBetweenEvents == 0)
                runtime.processEvents();
        }
        if (reader.fileError())
            return reader.fileError();
    }
    runtime.startList(dates);
    return list.rewind();
}

// The digest list beside the reference list, read whole and checked
// against its signature where a key is trusted; nothing when there is
// none, which leaves the run as it was without one. A list that is there
// but cannot be read is a failure of the run, for its summary; one whose
// signature is refused is a refusal of the whole run.
std::optional<DigestList> readDigestList(
    Window& window, Runtime& runtime, std::span<const signing::TrustedKey> keys, Outcome& failure, Outcome& refusal)
{
    // Far more than the digests of any reference list, and less than
    // memory on any machine that runs the program.
    constexpr std::size_t largestDigestList = std::size_t { 1 } << 30;
    auto bytes
        = readWhole(runtime, dataFilePath(runtime.applicationDirectory(), dataFile::digestList), largestDigestList);
    if (!bytes) {
        failure = bytes.error();
        return std::nullopt;
    }
    if (!*bytes)
        return std::nullopt;
    if (keys.empty())
        noteUncheckedSignature(window, runtime, dataFile::digestList, dataFile::digestSignature);
    else if ((refusal
                 = checkSignature(window, runtime, keys, dataFile::digestList, dataFile::digestSignature, **bytes)))
        return std::nullopt;
    DigestList list;
    list.add(**bytes);
    list.finish();
    return list;
}

// The reference list the run reads. Where a key is trusted, it is read
// whole and its signature checked over those bytes, which the run then
// reads in place of the file.
Result<std::unique_ptr<InputFile>> checkedReferenceList(
    Window& window, Runtime& runtime, std::span<const signing::TrustedKey> keys, std::unique_ptr<InputFile> file)
{
    if (keys.empty()) {
        noteUncheckedSignature(window, runtime, dataFile::referenceList, dataFile::referenceSignature);
        return file;
    }
    constexpr std::size_t largestList = std::size_t { 1 } << 31;
    auto bytes = readWhole(*file, largestList);
    if (!bytes)
        return bytes.error();
    if (Outcome refused
        = checkSignature(window, runtime, keys, dataFile::referenceList, dataFile::referenceSignature, **bytes))
        return *refused;
    return std::unique_ptr<InputFile>(std::make_unique<TextFile>(std::move(**bytes)));
}

// The first few of a number of items, which is all a summary shows of them.
struct FirstFew {
    static constexpr std::size_t shown = 10;
    std::vector<std::string> items;
    std::size_t count { 0 };

    void add(std::string item)
    {
        if (count++ < shown)
            items.push_back(std::move(item));
    }
    // "a, b, c and 2 more"
    [[nodiscard]] std::string text() const
    {
        std::string text;
        for (const std::string& item : items)
            text.append(text.empty() ? "" : ", ").append(item);
        if (count > items.size())
            text += " and " + std::to_string(count - items.size()) + " more";
        return text;
    }
};

// What the digest list did not settle, for the end of the run: names of
// the reference list it lacks (compared by size and date only, so that a
// list cut short cannot pass unseen), lines that name no file, and names
// the reference list lacks. Empty when there is nothing to say.
std::string digestSummary(const DigestList& digests, const FirstFew& notListed)
{
    std::string summary;
    const auto say = [&summary](const std::string& text) {
        if (!summary.empty())
            summary += '\n';
        summary.append(dataFile::nameOf(dataFile::digestList)).append(": ").append(text);
    };
    const auto count = [](std::size_t number, std::string_view one, std::string_view more) {
        return std::to_string(number) + " " + std::string(number == 1 ? one : more);
    };
    if (notListed.count > 0)
        say(count(notListed.count, "name", "names") + " of " + std::string(dataFile::nameOf(dataFile::referenceList))
            + " without a digest, compared by size and date only: " + notListed.text());
    FirstFew lines;
    for (const std::size_t line : digests.malformedLines())
        lines.add(std::to_string(line));
    if (lines.count > 0)
        say(count(lines.count, "line names", "lines name") + " no file: line " + lines.text());
    std::vector<std::string> unknownNames = digests.namesNotAsked();
    std::sort(unknownNames.begin(), unknownNames.end());
    FirstFew unknown;
    for (std::string& name : unknownNames)
        unknown.add(std::move(name));
    if (unknown.count > 0)
        say(count(unknown.count, "name is", "names are") + " not in "
            + std::string(dataFile::nameOf(dataFile::referenceList)) + ": " + unknown.text());
    return summary;
}

using ShowVerdict = std::function<void(const EntryVerdict&)>;

SearchMode searchMode(const Window& window)
{
    return window.appDirOnly() ? SearchMode::ApplicationDirectoryOnly : SearchMode::Full;
}

// Each entry read, looked up and judged before the next is read.
void checkInTurn(Window& window, Runtime& runtime, RecordReader& reader, DigestList* digests, const ShowVerdict& show)
{
    // Their strings are reused from entry to entry.
    ReferenceRead read;
    EntryVerdict verdict;
    EntryLookup lookup;
    const auto stopRequested = [&window] { return window.isUnloaded(); };
    while (!window.isUnloaded() && !reader.atEndOfRecords()) {
        readReference(reader, read);
        checkEntry(runtime, read, searchMode(window), verdict, lookup, digests, stopRequested);
        if (verdict.stopped)
            break;
        show(verdict);
    }
}

// An entry as read, how it is searched for, and what its lookup found.
struct EntryInFlight {
    ReferenceRead read;
    SearchMode mode { SearchMode::Full };
    bool digestAhead { false };
    EntryLookup lookup;
};

// The entries' lookups run `jobs` at a time, a few entries ahead of the
// one judged. An entry is searched for as the check box says when it is
// judged, as in turn: one looked up ahead under the other setting is looked
// up again then. The
// digest of a file of the listed size is taken with its lookup, where the
// list has one for it. Closing the window stops the lookups under way
// between two blocks of a digest.
void checkInFlight(
    Window& window, Runtime& runtime, RecordReader& reader, DigestList* digests, int jobs, const ShowVerdict& show)
{
    const std::function<bool(EntryInFlight&)> read = [&](EntryInFlight& entry) {
        if (reader.atEndOfRecords())
            return false;
        readReference(reader, entry.read);
        entry.mode = searchMode(window);
        const ListedDigest* listed = digests != nullptr ? digests->find(entry.read.record.name) : nullptr;
        entry.digestAhead = listed != nullptr && listed->digest;
        return true;
    };
    const std::function<void(EntryInFlight&, const std::stop_token&)> lookUp
        = [&runtime](EntryInFlight& entry, const std::stop_token& stop) {
              lookUpEntry(runtime, entry.read, entry.mode, entry.digestAhead, entry.lookup,
                  [&stop] { return !stop.stop_requested(); });
          };
    EntryVerdict verdict;
    const auto stopRequested = [&window] { return window.isUnloaded(); };
    const std::function<bool(EntryInFlight&)> take = [&](EntryInFlight& entry) {
        if (window.isUnloaded())
            return false;
        if (const SearchMode now = searchMode(window); now != entry.mode) {
            entry.mode = now;
            lookUpEntry(
                runtime, entry.read, now, entry.digestAhead, entry.lookup, [&window] { return !window.isUnloaded(); });
        }
        judgeEntry(runtime, entry.read, entry.lookup, verdict, digests, stopRequested);
        if (verdict.stopped)
            return false;
        show(verdict);
        return !window.isUnloaded();
    };
    const std::function<bool()> meanwhile = [&] {
        runtime.processEvents();
        return !window.isUnloaded();
    };
    lookUpInOrder(std::min(jobs, mostLookupJobs), read, lookUp, take, meanwhile, std::chrono::milliseconds(5));
}

// What a run gathers for its end: failed writes and a reference list that
// breaks off (shown once at the end instead of being charged to the next
// entry), the digest list and what it left unsettled.
struct RunEnd {
    Outcome lateFailure {};
    Outcome digestFailure {};
    std::optional<DigestList> digests {};
    FirstFew notListed {};
};

// The reference list as the run reads it, once the keys are known, the
// signatures checked, the digest list read and the list's dates studied;
// why not when the run gives no verdict: a list that cannot be read
// through, changes while it is, or whose signature a trusted key does not
// accept.
Result<std::unique_ptr<InputFile>> prepareList(
    Window& window, Runtime& runtime, std::unique_ptr<InputFile> referenceList, RunEnd& end)
{
    const Result<std::vector<signing::TrustedKey>> keys = trustedKeys(runtime);
    if (!keys)
        return Error { keys.error().number, std::string(message::listsNotChecked) + keys.error().description };
    auto list = checkedReferenceList(window, runtime, *keys, std::move(referenceList));
    if (!list)
        return list.error();
    Outcome refusal;
    end.digests = readDigestList(window, runtime, *keys, end.digestFailure, refusal);
    if (refusal)
        return *refusal;
    if (Outcome unread = studyDates(window, runtime, **list))
        return *unread;
    return list;
}

// Judges every entry of the list and shows each verdict in the list's
// order, whichever entry's lookup ended first; writes the exceptions.
void checkEntries(Window& window, Runtime& runtime, InputFile& list, RecordWriter& writer, RunEnd& end,
    const TestObserver& observer, int jobs)
{
    RecordReader reader(list);
    const auto show = [&](const EntryVerdict& verdict) {
        if (verdict.contents == ContentCheck::NotListed)
            end.notListed.add(verdict.name);
        window.append(verdict.list, verdict.line, verdict.detail);
        if (verdict.exception)
            end.lateFailure = firstFailure(std::move(end.lateFailure), writeException(writer, *verdict.exception));
        if (observer.judged)
            observer.judged(verdict);
        runtime.processEvents();
    };
    DigestList* digests = end.digests ? &*end.digests : nullptr;
    if (jobs > 1)
        checkInFlight(window, runtime, reader, digests, jobs, show);
    else
        checkInTurn(window, runtime, reader, digests, show);
    // A list that could not be read to its end.
    end.lateFailure = firstFailure(std::move(end.lateFailure), reader.fileError());
}

// What the run has to say at its end, each in its own message.
void tellEnd(Runtime& runtime, const RunEnd& end)
{
    if (end.lateFailure)
        runtime.showMessage(generalErrorMessage(*end.lateFailure));
    if (end.digestFailure)
        runtime.showMessage(message::digestListUnread(dataFile::nameOf(dataFile::digestList))
            + generalErrorMessage(*end.digestFailure));
    else if (end.digests)
        if (const std::string summary = digestSummary(*end.digests, end.notListed); !summary.empty())
            runtime.showMessage(summary);
}

} // namespace

void runTest(Window& window, Runtime& runtime, const TestObserver& observer, int jobs)
{
    // Nothing is cleared or written while another run has the lists.
    auto lock = runtime.lockLists();
    if (!lock) {
        if (!window.isUnloaded())
            runtime.showMessage(generalErrorMessage(lock.error()));
        return;
    }
    if (jobs == chosenLookupJobs)
        jobs = chooseLookupJobs(runtime, std::thread::hardware_concurrency());
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
    RecordWriter writer(**exceptions);
    RunEnd end;
    end.lateFailure = writer.writeLine(exceptionsHeader);
    // A run that gives no verdict leaves the exceptions file with its first
    // line alone, and says why before anything else.
    auto list = prepareList(window, runtime, std::move(*referenceList), end);
    if (list) {
        if (observer.started)
            observer.started(end.digests || end.digestFailure);
        checkEntries(window, runtime, **list, writer, end, observer, jobs);
        list->reset();
    } else {
        end = RunEnd { .lateFailure = firstFailure(list.error(), std::move(end.lateFailure)) };
    }
    end.lateFailure = firstFailure(std::move(end.lateFailure), (*exceptions)->close());

    if (window.isUnloaded())
        return; // the window is gone: nobody is left to gate or tell
    setButtonsEnabled(window, true);
    tellEnd(runtime, end);
}

} // namespace deptest
