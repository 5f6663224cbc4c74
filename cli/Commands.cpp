#include "cli/Commands.h"

#include "errors/Messages.h"
#include "generate/ReferenceGeneration.h"
#include "names/NameListCommand.h"
#include "records/DataFiles.h"
#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "report/ReportPrinting.h"
#include "text/CodePageText.h"
#include "verify/EntryCheck.h"
#include "verify/TestRun.h"

#include "signing/ListSignature.h"

#include <algorithm>
#include <array>
#include <functional>
#include <string>

namespace deptest::cli {

namespace {

// Lines in a list, for the progress line's total; 0 when it cannot be
// read (the command itself then says why). Read as the command reads it,
// so that what the command refuses to open is not opened here either.
std::int64_t countLines(Runtime& runtime, const std::string& path)
{
    auto file = runtime.openForReading(path);
    if (!file)
        return 0;
    std::int64_t lines = 0;
    std::array<char, 65536> buffer {};
    for (Result<std::size_t> got = 0; (got = (*file)->read(buffer.data(), buffer.size())) && *got > 0;)
        lines += std::count(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(*got), '\n');
    return lines;
}

// The records in the exceptions file, or 1 when it cannot be read, so that
// the printing command itself reports why.
int exceptionRecords(Runtime& runtime)
{
    auto file = runtime.openForReading(dataFilePath(runtime.applicationDirectory(), dataFile::exceptions));
    if (!file)
        return 1;
    RecordReader reader(**file);
    int records = 0;
    (void)reader.readLine(); // the header
    while (!reader.atEnd()) {
        const Result<std::string> line = reader.readRecordLine();
        if (!line)
            return records + 1;
        if (exceptionFromLine(*line))
            ++records;
    }
    return records;
}

void reportStop(ConsoleRuntime& runtime, std::int64_t done)
{
    runtime.showMessage("deptest: " + message::stoppedOnRequestAfter(done));
}

// What a command that goes through a list entry by entry counted.
struct Tally {
    std::int64_t done { 0 };
    std::int64_t missing { 0 };
};

// The frame of the test and the generation: the progress line on standard
// error (its total only worth a second reading of the list where it is
// shown), the run, then the exit status: failure after a message, a stop
// on request or a closed window; with --verbose a summary line ("M of N
// ... `summary`").
int runOverList(ConsoleRuntime& runtime, ConsoleWindow& window, const Options& options, const Streams& streams,
    std::string_view list, const std::string& summary, const std::function<void(Progress&, Tally&)>& run)
{
    std::int64_t total = 0;
    if (Progress::drawsOn(fileno(streams.err)))
        total = countLines(runtime, dataFilePath(runtime.applicationDirectory(), list));
    Progress progress(fileno(streams.err), total);
    runtime.progress = &progress;
    Tally tally;
    run(progress, tally);
    progress.erase();
    runtime.progress = nullptr;

    if (window.exited || !runtime.messages.empty())
        return exitStatus::failure;
    if (window.stopRequested) {
        reportStop(runtime, tally.done);
        return exitStatus::failure;
    }
    if (options.verbose)
        runtime.showMessage(
            "deptest: " + std::to_string(tally.missing) + " of " + std::to_string(tally.done) + " " + summary);
    return tally.missing > 0 ? exitStatus::differences : exitStatus::ok;
}

QJsonValue contentsOf(ContentCheck contents)
{
    switch (contents) {
    case ContentCheck::Same: return QStringLiteral("same");
    case ContentCheck::Differ: return QStringLiteral("differ");
    case ContentCheck::NotListed: return QStringLiteral("unlisted");
    case ContentCheck::NotCompared: break;
    }
    return QJsonValue(QJsonValue::Null);
}

// `withContents`: the digest list is there, and each entry says what came
// of its contents ("contents": "same", "differ", "unlisted" or null when
// they were not compared).
QJsonObject jsonOf(const EntryVerdict& verdict, const Runtime& runtime, bool withContents)
{
    const bool found = !verdict.targetSize.empty();
    QJsonObject entry;
    entry.insert(QStringLiteral("name"), toDisplayText(verdict.name, runtime.displayCodePage()));
    entry.insert(QStringLiteral("outcome"),
        verdict.list == ListBox::Matching ? QStringLiteral("match")
            : found                       ? QStringLiteral("mismatch")
                                          : QStringLiteral("missing"));
    entry.insert(QStringLiteral("where"), toDisplayText(runtime.displayPath(verdict.where), runtime.displayCodePage()));
    entry.insert(QStringLiteral("size"), textOrNull(verdict.targetSize, found));
    entry.insert(QStringLiteral("date"), textOrNull(verdict.targetDate, found));
    entry.insert(QStringLiteral("referenceSize"), toDisplayText(verdict.originalSize, runtime.displayCodePage()));
    entry.insert(QStringLiteral("referenceDate"), toDisplayText(verdict.originalDate, runtime.displayCodePage()));
    entry.insert(QStringLiteral("error"), verdict.failure.number);
    std::string errorText = verdict.failure.description;
    if (const auto* mismatch = verdict.exception ? std::get_if<MismatchRecord>(&*verdict.exception) : nullptr)
        errorText = mismatch->error;
    entry.insert(QStringLiteral("errorText"), toDisplayText(errorText, runtime.displayCodePage()));
    if (withContents)
        entry.insert(QStringLiteral("contents"), contentsOf(verdict.contents));
    return entry;
}

QJsonObject jsonOf(const NameOutcome& outcome, const Runtime& runtime)
{
    const bool found = outcome.record.has_value();
    QJsonObject entry;
    entry.insert(QStringLiteral("name"), toDisplayText(outcome.name, runtime.displayCodePage()));
    entry.insert(QStringLiteral("outcome"), found ? QStringLiteral("found") : QStringLiteral("missing"));
    entry.insert(QStringLiteral("where"),
        outcome.where.empty()
            ? QJsonValue(QJsonValue::Null)
            : QJsonValue(toDisplayText(runtime.displayPath(outcome.where), runtime.displayCodePage())));
    entry.insert(QStringLiteral("size"), textOrNull(found ? outcome.record->size : "", found));
    entry.insert(QStringLiteral("date"), textOrNull(found ? outcome.record->date : "", found));
    entry.insert(QStringLiteral("error"), outcome.failure.number);
    entry.insert(QStringLiteral("errorText"), toDisplayText(outcome.failure.description, runtime.displayCodePage()));
    if (outcome.digest)
        entry.insert(QStringLiteral("sha256"), QString::fromStdString(hexOf(*outcome.digest)));
    return entry;
}

} // namespace

int runTestCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams)
{
    return runOverList(runtime, window, options, streams, dataFile::referenceList,
        "entries did not match or were not found", [&](Progress& progress, Tally& tally) {
            bool withContents = false;
            const auto judged = [&](const EntryVerdict& verdict) {
                ++tally.done;
                if (verdict.list == ListBox::Missing)
                    ++tally.missing;
                if (options.json)
                    writeJson(streams.out, jsonOf(verdict, runtime, withContents));
                progress.update(tally.done);
            };
            runTest(window, runtime,
                { .started = [&](bool comparesContents) { withContents = comparesContents; }, .judged = judged },
                options.jobs);
        });
}

namespace {

// The key generation signs with (--sign, or DEPTEST_SIGNING_KEY), opened
// with the trusted comment of this generation; a key that cannot be used
// is said and the generation does not start.
std::optional<ListSigning> signingOf(ConsoleRuntime& runtime, const Streams& streams)
{
    Result<ListSigning> signing = configuredSigning(runtime);
    if (!signing) {
        runtime.showMessage("deptest: " + signing.error().description);
        return std::nullopt;
    }
    signing->removed = [&streams](std::string_view file) {
        writeLine(streams.err, oneLine("deptest: " + message::unsignedListRemovedByCommand(file)));
    };
    return std::move(*signing);
}

} // namespace

int runGenerateCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams)
{
    const std::optional<ListSigning> signing = signingOf(runtime, streams);
    if (!signing)
        return exitStatus::failure;
    return runOverList(runtime, window, options, streams, dataFile::nameList, "names were not found",
        [&](Progress& progress, Tally& tally) {
            generateReference(
                runtime,
                [&](const NameOutcome& outcome) {
                    ++tally.done;
                    const bool found = outcome.record.has_value();
                    tally.missing += found ? 0 : 1;
                    if (options.json)
                        writeJson(streams.out, jsonOf(outcome, runtime));
                    else if (!found)
                        writeLine(streams.out, oneLine(notFoundLine(outcome.name, outcome.failure.description)));
                    else if (options.verbose)
                        writeLine(streams.out, oneLine(outcome.name));
                    progress.update(tally.done);
                    runtime.processEvents(); // a request to end arrives here
                    return !window.stopRequested;
                },
                options.digests, *signing, options.jobs);
        });
}

int runPrintCommand(ConsoleRuntime& runtime, ConsoleWindow& window)
{
    window.setMissingCount(exceptionRecords(runtime));
    printReport(window, runtime);
    if (runtime.messages.empty()
        || runtime.messages == std::vector<std::string> { std::string(message::noMissingFiles) })
        return exitStatus::ok;
    return exitStatus::failure;
}

// The name list of the given programs: written unless no file could be
// read; a line on standard error for each file that could not be read,
// each library not found and each one left out.
int runNamesCommand(const Options& options, ConsoleRuntime& runtime, const Streams& streams)
{
    names::NameListRequest request;
    // The program's paths are UTF-8 on every system (Windows' wide
    // functions take them from UTF-8), never a code page's bytes.
    for (const QString& program : options.programs)
        request.programs.push_back(program.toStdString());
    request.toStandardOutput = options.output == QLatin1String("-");
    if (!request.toStandardOutput && !options.output.isEmpty())
        request.output = absoluteHostPath(options.output.toStdString());
    if (options.libraryPath)
        request.libraryPath = runtime.settings().libraryPath;
    StreamOutput standardOutput(streams.out);
    return names::runNameListCommand(runtime, request, standardOutput);
}

} // namespace deptest::cli
