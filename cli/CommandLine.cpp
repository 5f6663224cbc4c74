#include "cli/CommandLine.h"

#include "cli/Progress.h"
#include "dates/LegacyText.h"
#include "errors/Messages.h"
#include "generate/ReferenceGeneration.h"
#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "report/ReportPrinting.h"
#include "services/Files.h"
#include "services/Printer.h"
#include "services/Window.h"
#include "verify/EntryCheck.h"
#include "verify/TestRun.h"
#ifdef DEPTEST_WITH_NAMES
#include "names/NameList.h"
#include "services/Directories.h"
#endif
#ifndef _WIN32
#include "host/TerminationRequests.h"
#endif

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>
#include <QRegularExpression>

#include <array>
#include <cstdlib>
#include <utility>
#include <vector>

namespace deptest::cli {

namespace {

constexpr auto exitStatusHelp = "\nExit status:\n"
                                "  0  every entry matched, every name was found, or the report printed\n"
                                "  1  some entries did not match, or some names were not found\n"
                                "  2  the command could not do its work (a missing or unreadable list, a\n"
                                "     write failure, no printer, bad options, or a stop on request)\n";

// A line of text for a terminal or a file: the bytes as the window would
// show them, with control characters (a name may hold a line end) shown
// as '?' so that every entry stays on one line.
QByteArray oneLine(std::string_view bytes)
{
    QString text = toDisplayText(bytes, defaultCodePage(QLocale::system().language()));
    for (QChar& character : text) {
        if (character.unicode() < 0x20 || character.unicode() == 0x7f)
            character = QLatin1Char('?');
    }
    return text.toUtf8();
}

void writeLine(std::FILE* stream, const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stream);
    std::fputc('\n', stream);
}

void writeJson(std::FILE* stream, const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact);
    writeLine(stream, line);
}

QJsonValue textOrNull(std::string_view bytes, bool present)
{
    return present ? QJsonValue(toDisplayText(bytes, defaultCodePage(QLocale::system().language())))
                   : QJsonValue(QJsonValue::Null);
}

// A printer for a runtime that was given none: every job fails as on a
// machine without a printer.
class NoPrinter final : public Printer {
public:
    Outcome printLine(std::span<const PrintText> /*texts*/) override { return failure(); }
    Outcome newPage() override { return failure(); }
    Outcome endDocument() override { return failure(); }
    void cancelDocument() override { }

private:
    static Error failure() { return { error::printer, "No default destination." }; }
};

// The host runtime with the shell's standard error in place of message
// boxes. The progress line, when one is drawn, is erased first.
class ConsoleRuntime final : public HostRuntime {
public:
    ConsoleRuntime(HostSettings settings, std::FILE* err, PrinterFactory printer)
        : HostRuntime(std::move(settings))
        , m_err(err)
        , m_makePrinter(std::move(printer))
    {
    }

    void showMessage(std::string_view text) override
    {
        if (progress != nullptr)
            progress->erase();
        writeLine(m_err, toDisplayText(text, defaultCodePage(QLocale::system().language())).toUtf8());
        messages.emplace_back(text);
    }

    Printer& printer() override
    {
        if (!m_printer)
            m_printer = m_makePrinter ? m_makePrinter() : nullptr;
        if (!m_printer)
            m_printer = std::make_unique<NoPrinter>();
        return *m_printer;
    }

    std::vector<std::string> messages;
    Progress* progress { nullptr };

private:
    std::FILE* m_err;
    PrinterFactory m_makePrinter;
    std::unique_ptr<Printer> m_printer;
};

// The window side of the commands for a shell: the lines of lstMissing
// (and with --verbose of lstMatching) go to standard output, one per line;
// with --json the entries are written by the command instead. A request
// to end stands for closing the window.
class ConsoleWindow final : public Window {
public:
    ConsoleWindow(const Options& options, std::FILE* out)
        : m_options(options)
        , m_out(out)
    {
    }

    void setEnabled(Button /*button*/, bool /*enabled*/) override { }
    void clear(ListBox /*list*/) override { }
    void append(ListBox list, std::string_view line, std::string_view /*detail*/) override
    {
        if (list == ListBox::Missing)
            ++m_missing;
        if (!m_options.json && (list == ListBox::Missing || m_options.verbose))
            writeLine(m_out, oneLine(line));
    }
    [[nodiscard]] int missingCount() const override { return m_missing; }
    [[nodiscard]] bool appDirOnly() const override { return m_options.appDirOnly; }
    void pressExit() override { exited = true; }
    [[nodiscard]] bool isUnloaded() const override { return exited || stopRequested; }

    // The printing command's lstMissing: the records of the exceptions file.
    void setMissingCount(int count) { m_missing = count; }

    bool exited { false };
    bool stopRequested { false };

private:
    const Options& m_options;
    std::FILE* m_out;
    int m_missing { 0 };
};

// Lines in a file, for the progress line's total; 0 when it cannot be read.
std::int64_t countLines(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return 0;
    std::int64_t lines = 0;
    std::array<char, 65536> buffer {};
    for (std::size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), file)) > 0;) {
        for (std::size_t i = 0; i < got; ++i)
            lines += buffer[i] == '\n' ? 1 : 0;
    }
    std::fclose(file);
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
    runtime.showMessage("deptest: stopped on request after " + std::to_string(done) + " entries");
}

int runTestCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams)
{
    // The total is only worth a second reading of the list where it is shown.
    std::int64_t total = 0;
    if (Progress::drawsOn(fileno(streams.err)))
        total = countLines(runtime.displayPath(dataFilePath(runtime.applicationDirectory(), dataFile::referenceList)));
    Progress counted(fileno(streams.err), total);
    runtime.progress = &counted;
    std::int64_t done = 0;
    std::int64_t missing = 0;
    runTest(window, runtime, [&](const EntryVerdict& verdict) {
        ++done;
        if (verdict.list == ListBox::Missing)
            ++missing;
        if (options.json) {
            const bool found = !verdict.targetSize.empty();
            QJsonObject entry;
            entry.insert(QStringLiteral("name"), toDisplayText(verdict.name, runtime.displayCodePage()));
            entry.insert(QStringLiteral("outcome"),
                verdict.list == ListBox::Matching ? QStringLiteral("match")
                    : found                       ? QStringLiteral("mismatch")
                                                  : QStringLiteral("missing"));
            entry.insert(
                QStringLiteral("where"), toDisplayText(runtime.displayPath(verdict.where), runtime.displayCodePage()));
            entry.insert(QStringLiteral("size"), textOrNull(verdict.targetSize, found));
            entry.insert(QStringLiteral("date"), textOrNull(verdict.targetDate, found));
            entry.insert(
                QStringLiteral("referenceSize"), toDisplayText(verdict.originalSize, runtime.displayCodePage()));
            entry.insert(
                QStringLiteral("referenceDate"), toDisplayText(verdict.originalDate, runtime.displayCodePage()));
            entry.insert(QStringLiteral("error"), verdict.failure.number);
            std::string errorText = verdict.failure.description;
            if (const auto* mismatch = verdict.exception ? std::get_if<MismatchRecord>(&*verdict.exception) : nullptr)
                errorText = mismatch->error;
            entry.insert(QStringLiteral("errorText"), toDisplayText(errorText, runtime.displayCodePage()));
            writeJson(streams.out, entry);
        }
        counted.update(done);
    });
    counted.erase();
    runtime.progress = nullptr;

    if (window.exited || !runtime.messages.empty())
        return exitStatus::failure;
    if (window.stopRequested) {
        reportStop(runtime, done);
        return exitStatus::failure;
    }
    if (options.verbose)
        runtime.showMessage("deptest: " + std::to_string(missing) + " of " + std::to_string(done)
            + " entries did not match or were not found");
    return missing > 0 ? exitStatus::differences : exitStatus::ok;
}

int runGenerateCommand(const Options& options, ConsoleRuntime& runtime, ConsoleWindow& window, const Streams& streams)
{
    std::int64_t total = 0;
    if (Progress::drawsOn(fileno(streams.err)))
        total = countLines(runtime.displayPath(dataFilePath(runtime.applicationDirectory(), dataFile::nameList)));
    Progress progress(fileno(streams.err), total);
    runtime.progress = &progress;
    std::int64_t done = 0;
    std::int64_t notFound = 0;
    generateReference(runtime, [&](const NameOutcome& outcome) {
        ++done;
        const bool found = outcome.record.has_value();
        notFound += found ? 0 : 1;
        if (options.json) {
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
            entry.insert(
                QStringLiteral("errorText"), toDisplayText(outcome.failure.description, runtime.displayCodePage()));
            writeJson(streams.out, entry);
        } else if (!found) {
            writeLine(streams.out, oneLine(outcome.name + " - Error: " + outcome.failure.description));
        } else if (options.verbose) {
            writeLine(streams.out, oneLine(outcome.name));
        }
        progress.update(done);
        runtime.processEvents(); // a request to end arrives here
        return !window.stopRequested;
    });
    progress.erase();
    runtime.progress = nullptr;

    if (!runtime.messages.empty())
        return exitStatus::failure;
    if (window.stopRequested) {
        reportStop(runtime, done);
        return exitStatus::failure;
    }
    if (options.verbose)
        runtime.showMessage(
            "deptest: " + std::to_string(notFound) + " of " + std::to_string(done) + " names were not found");
    return notFound > 0 ? exitStatus::differences : exitStatus::ok;
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

// Standard output as the file the name list is written to.
class StreamOutput final : public OutputFile {
public:
    explicit StreamOutput(std::FILE* stream)
        : m_stream(stream)
    {
    }
    Outcome write(std::string_view bytes) override
    {
        if (std::fwrite(bytes.data(), 1, bytes.size(), m_stream) != bytes.size())
            return Error::of(error::deviceIo);
        return std::nullopt;
    }
    Outcome finish() override
    {
        if (std::fflush(m_stream) != 0)
            return Error::of(error::deviceIo);
        return std::nullopt;
    }
    Outcome close() override { return StreamOutput::finish(); }

private:
    std::FILE* m_stream;
};

// The name list of the given programs: written unless no file could be
// read; a line on standard error for each file that could not be read,
// each library not found and each one left out.
int runNamesCommand(const Options& options, ConsoleRuntime& runtime, const Streams& streams)
{
#ifdef DEPTEST_WITH_NAMES
    const std::string application = runtime.applicationDirectory();
    names::NameListOptions settings = names::hostNameListOptions(runtime.displayPath(systemDirectoryLiteral),
        runtime.displayPath(windowsDirectoryLiteral), runtime.displayPath(application + "\\"));
    if (const char* path = std::getenv("LD_LIBRARY_PATH"); options.libraryPath && path != nullptr)
        settings.loader.libraryPath = path;
    std::vector<std::string> programs;
    for (const QString& program : options.programs)
        programs.push_back(QFile::encodeName(program).toStdString());
    names::NameListResult result = names::collectNames(programs, settings);
    for (const std::string& line : result.messages())
        runtime.showMessage("deptest: " + line);
    if (result.names.empty())
        return exitStatus::failure;

    StreamOutput standardOutput(streams.out);
    Result<std::unique_ptr<OutputFile>> file = std::unique_ptr<OutputFile>();
    if (options.output != QLatin1String("-")) {
        file = runtime.openForReplacing(options.output.isEmpty()
                ? dataFilePath(application, dataFile::nameList)
                : QFile::encodeName(QFileInfo(options.output).absoluteFilePath()).toStdString());
    }
    result.writeFailure = !file ? Outcome(file.error())
        : *file                 ? names::writeNames(result, **file)
                                : names::writeNames(result, standardOutput);
    if (result.writeFailure)
        runtime.showMessage(generalErrorMessage(*result.writeFailure));
    return result.exitStatus();
#else
    (void)options;
    (void)streams;
    runtime.showMessage("deptest: the name list cannot be made on this system");
    return exitStatus::failure;
#endif
}

} // namespace

Parsed parseArguments(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Checks that the files an application depends on are present on this machine with the same size and date "
        "as on a reference machine. Without arguments, opens the window."));
    const QCommandLineOption test(QStringLiteral("test"),
        QStringLiteral("Compare every entry of indll.txt with this machine; write the exceptions to outdll.txt."));
    const QCommandLineOption appDirOnly(
        QStringLiteral("app-dir-only"), QStringLiteral("With --test: search the application directory only."));
    const QCommandLineOption generate(QStringLiteral("generate"),
        QStringLiteral("Measure the files named in dlls.txt; write indll.txt and the names not found to dllerr.txt."));
    const QCommandLineOption print(
        QStringLiteral("print"), QStringLiteral("Print the report of outdll.txt on the default printer."));
    const QCommandLineOption dir(QStringLiteral("dir"),
        QStringLiteral("Use DIR in place of the program's directory, for the data files and the application "
                       "directory search."),
        QStringLiteral("DIR"));
    const QCommandLineOption json(QStringLiteral("json"),
        QStringLiteral("With --test or --generate: one JSON object per entry on standard output."));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"), QStringLiteral("Also list matching entries and found names, and a summary."));
    const QCommandLineOption namesOf(QStringList { QStringLiteral("names-of") },
        QStringLiteral("Write dlls.txt with the files the programs FILE... need, as their loaders find them; more "
                       "files may follow as arguments."),
        QStringLiteral("FILE"));
    const QCommandLineOption output(QStringLiteral("output"),
        QStringLiteral("With --names-of: write the name list to FILE, or to standard output for -."),
        QStringLiteral("FILE"));
    const QCommandLineOption libraryPath(QStringLiteral("library-path"),
        QStringLiteral("With --names-of: search LD_LIBRARY_PATH too, as the loader would."));
    parser.addOptions({ test, appDirOnly, generate, print, dir, json, verbose });
#ifdef DEPTEST_WITH_NAMES
    parser.addOptions({ namesOf, output, libraryPath });
#endif
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();

    const auto error = [](const QString& text) {
        return Parsed { std::nullopt, QStringLiteral("deptest: %1 (see deptest --help)").arg(text), true,
            exitStatus::failure };
    };
    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (!parser.positionalArguments().isEmpty() && !parser.isSet(namesOf))
        return error(QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().constFirst()));
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QString text = parser.helpText();
        text.replace(QRegularExpression(QStringLiteral("^Usage: \\S+")), QStringLiteral("Usage: deptest"));
        return { std::nullopt, text + QLatin1String(exitStatusHelp), false, exitStatus::ok };
    }
    if (parser.isSet(version))
        return { std::nullopt, QStringLiteral("deptest " DEPTEST_VERSION), false, exitStatus::ok };

    Options options;
    int commands = 0;
    for (const auto& [option, command] :
        { std::pair { &test, Command::Test }, std::pair { &generate, Command::Generate },
            std::pair { &print, Command::Print }, std::pair { &namesOf, Command::Names } }) {
        if (parser.isSet(*option)) {
            options.command = command;
            ++commands;
        }
    }
    if (commands != 1) {
#ifdef DEPTEST_WITH_NAMES
        return error(QStringLiteral("give one of --test, --generate, --print and --names-of"));
#else
        return error(QStringLiteral("give one of --test, --generate and --print"));
#endif
    }
    if (options.command == Command::Names) {
        options.programs = parser.values(namesOf) + parser.positionalArguments();
        options.output = parser.value(output);
        options.libraryPath = parser.isSet(libraryPath);
        if (parser.isSet(json) || parser.isSet(verbose) || parser.isSet(appDirOnly))
            return error(QStringLiteral("--names-of takes --dir, --output and --library-path only"));
    } else if (parser.isSet(output) || parser.isSet(libraryPath)) {
        return error(QStringLiteral("--output and --library-path go with --names-of"));
    }
    options.appDirOnly = parser.isSet(appDirOnly);
    options.json = parser.isSet(json);
    options.verbose = parser.isSet(verbose);
    if (options.appDirOnly && options.command != Command::Test)
        return error(QStringLiteral("--app-dir-only goes with --test"));
    if (options.json && options.command == Command::Print)
        return error(QStringLiteral("--json goes with --test or --generate"));
    if (parser.isSet(dir)) {
        options.directory = parser.value(dir);
        if (options.directory.isEmpty())
            return error(QStringLiteral("--dir needs a directory"));
    }
    return { options, {}, false, exitStatus::ok };
}

int runCommand(const Options& options, HostSettings settings, const Streams& streams, const PrinterFactory& printer)
{
    if (!options.directory.isEmpty())
        settings.applicationDirectory = QDir::cleanPath(QDir(options.directory).absolutePath()).toStdString();
    ConsoleRuntime runtime(std::move(settings), streams.err, printer);
    ConsoleWindow window(options, streams.out);
#ifndef _WIN32
    // Ctrl+C, kill and a closing session end a run after the entry at hand.
    TerminationRequests termination;
    QObject::connect(&termination, &TerminationRequests::requested, [&window] { window.stopRequested = true; });
#endif

    int status = exitStatus::failure;
    switch (options.command) {
    case Command::Test: status = runTestCommand(options, runtime, window, streams); break;
    case Command::Generate: status = runGenerateCommand(options, runtime, window, streams); break;
    case Command::Print: status = runPrintCommand(runtime, window); break;
    case Command::Names: status = runNamesCommand(options, runtime, streams); break;
    case Command::Window: break;
    }
    // Entries lost on the way to a full disk or a closed pipe are a failure too.
    if (std::fflush(streams.out) != 0 || std::ferror(streams.out) != 0) {
        runtime.showMessage("deptest: could not write to standard output");
        status = exitStatus::failure;
    }
    return status;
}

int runCommandLine(int& argc, char* argv[], const PrintSupport& printing)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const Parsed parsed = parseArguments(arguments);
    if (!parsed.options) {
        std::FILE* stream = parsed.answerIsError ? stderr : stdout;
        writeLine(stream, parsed.answer.toUtf8());
        return parsed.status;
    }
    // Only printing draws; the other commands never load a window system.
    std::unique_ptr<QCoreApplication> application;
    if (parsed.options->command == Command::Print && printing.makeApplication)
        application = printing.makeApplication(argc, argv);
    if (!application)
        application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("deptest"));
    return runCommand(*parsed.options, HostRuntime::settingsForThisMachine(), Streams {}, printing.makePrinter);
}

} // namespace deptest::cli
