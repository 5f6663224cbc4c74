// The command line run in this process against a test machine, beside the
// real window on the same lists: the same files, the same lines, the same
// messages; and the exit status of each outcome.

#include "cli/CommandLine.h"
#include "cli/Progress.h"
#include "desktop/frmTest.h"
#include "errors/Messages.h"
#include "records/DigestList.h"
#include "tests/fakes/ListText.h"
#include "tests/fakes/MemoryFiles.h"
#include "tests/names/TestBinaries.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestRuntime.h"

#include <QApplication>
#include <QCheckBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QListView>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <map>
#include <optional>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace deptest;
using deptest::test::entry;
using deptest::test::lines;
using deptest::test::Machine;

namespace {

const QDateTime reference(QDate(2026, 12, 7), QTime(10, 30));

// A machine with a file in each searched directory, one of the wrong size,
// one of another day and one that is absent, and lists naming them all.
void furnish(const Machine& machine)
{
    Machine::makeFile(machine.systemDirectory() + "/a.so", 100, reference);
    Machine::makeFile(machine.windowsDirectory() + "/b.so", 200, reference);
    Machine::makeFile(machine.applicationDirectory() + "/c.so", 300, reference);
    Machine::makeFile(machine.applicationDirectory() + "/e.so", 500, reference.addDays(-3));
    Machine::writeText(machine.dataFile("indll.txt"),
        entry("a.so", "100") + entry("b.so", "200") + entry("c.so", "301") + entry("d.so", "400") + entry("e.so", "500")
            + entry("f.so", "12x"));
    Machine::writeText(machine.dataFile("dlls.txt"), "a.so\r\nb.so\r\n\"c.so\"\r\nd.so\r\ne.so\r\n");
}

QStringList split(const std::string& text)
{
    QStringList lines = QString::fromStdString(text).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

std::string contents(std::FILE* file)
{
    std::fflush(file);
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

// The program's printer, made and dropped by the command, handing its
// pages to a printer the test keeps.
class ForwardingPrinter final : public Printer {
public:
    explicit ForwardingPrinter(Printer& target)
        : m_target(target)
    {
    }
    Outcome printLine(std::span<const PrintText> texts) override { return m_target.printLine(texts); }
    Outcome newPage() override { return m_target.newPage(); }
    Outcome endDocument() override { return m_target.endDocument(); }
    void cancelDocument() override { m_target.cancelDocument(); }

private:
    Printer& m_target;
};

struct CliRun {
    int status { -1 };
    std::string out;
    std::string err;
};

// `discardOutput` sends standard output to /dev/null, out of reach of a full disk.
CliRun runCli(const cli::Options& options, HostSettings settings, const cli::PrinterFactory& printer = {},
    bool discardOutput = false)
{
    std::FILE* out = discardOutput ? std::fopen("/dev/null", "w+") : std::tmpfile();
    std::FILE* err = std::tmpfile();
    CliRun run;
    run.status = cli::runCommand(options, std::move(settings), { out, err }, printer);
    run.out = contents(out);
    run.err = contents(err);
    return run;
}

CliRun runCli(const cli::Options& options, const Machine& machine, const cli::PrinterFactory& printer = {},
    bool discardOutput = false)
{
    return runCli(options, machine.settings(), printer, discardOutput);
}

cli::Options optionsFor(const QString& command)
{
    cli::Options options;
    options.command = command.startsWith("generate") ? cli::Command::Generate
        : command.startsWith("print")                ? cli::Command::Print
                                                     : cli::Command::Test;
    options.appDirOnly = command.contains("app-dir-only");
    if (command.contains("one-job"))
        options.jobs = 1;
    return options;
}

// The data files a command may write, as bytes, and removes them.
std::array<std::string, 3> takeDataFiles(const Machine& machine)
{
    std::array<std::string, 3> files;
    const std::array<const char*, 3> names { "outdll.txt", "indll.txt", "dllerr.txt" };
    for (std::size_t i = 0; i < names.size(); ++i)
        files.at(i) = Machine::readText(machine.dataFile(names.at(i)));
    std::remove(machine.dataFile("outdll.txt").c_str());
    std::remove(machine.dataFile("dllerr.txt").c_str());
    return files;
}

// What was written to `writer` (a pseudo-terminal or a pipe) up to now, as
// read from `reader`: read up to a marker written after it, so that nothing
// still on its way is missed. Without the marker within a minute, says so.
std::string written(int reader, int writer)
{
    const std::string marker = "<end>";
    if (::write(writer, marker.data(), marker.size()) != static_cast<ssize_t>(marker.size()))
        return "the marker could not be written";
    std::string text;
    char buffer[4096];
    pollfd readable { reader, POLLIN, 0 };
    while (!text.ends_with(marker) && ::poll(&readable, 1, 60'000) == 1) {
        const ssize_t got = ::read(reader, buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    if (!text.ends_with(marker))
        return "no marker after: " + text;
    return text.substr(0, text.size() - marker.size());
}

} // namespace

class tst_Cli : public QObject {
    Q_OBJECT
private slots:
    void sameAsTheWindow_data();
    void sameAsTheWindow();
    void exitStatus_data();
    void exitStatus();
    void jsonLines();
    void digestListThereOrNot_data();
    void digestListThereOrNot();
    void verbose();
    void printing_data();
    void printing();
    void arguments_data();
    void arguments();
    void progressOnlyOnATerminal();
    void namesOfPrograms_data();
    void namesOfPrograms();
};

void tst_Cli::sameAsTheWindow_data()
{
    // What the window is made to do, the same as an option; what ends up
    // missing from the machine first. Every row is run both ways.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("remove");
    QTest::addColumn<int>("status");
    QTest::newRow("test, full search") << "test" << QStringList {} << 1;
    QTest::newRow("test, one job from the shell") << "test one-job" << QStringList {} << 1;
    QTest::newRow("generate, one job from the shell") << "generate one-job" << QStringList {} << 1;
    QTest::newRow("test, application directory only") << "test app-dir-only" << QStringList {} << 1;
    QTest::newRow("test without a reference list") << "test" << QStringList { "indll.txt" } << 2;
    QTest::newRow("generate") << "generate" << QStringList {} << 1;
    QTest::newRow("generate without a name list") << "generate" << QStringList { "dlls.txt" } << 2;
    QTest::newRow("test onto a full disk") << "test full-disk" << QStringList {} << 2;
}

void tst_Cli::sameAsTheWindow()
{
    QFETCH(QString, command);
    QFETCH(QStringList, remove);
    QFETCH(int, status);
    Machine machine;
    furnish(machine);
    if (command.contains("full-disk")) {
        std::string many;
        for (int i = 0; i < 3000; ++i)
            many += entry("missing" + std::to_string(i) + ".so", "1");
        Machine::writeText(machine.dataFile("indll.txt"), many);
    }
    for (const QString& name : remove)
        std::remove(machine.dataFile(name.toStdString()).c_str());
    const std::string referenceBefore = Machine::readText(machine.dataFile("indll.txt"));

    test::TestRuntime windowRuntime(machine);
    frmTest window(windowRuntime);
    window.show();
    {
        std::optional<test::FileSizeLimit> full;
        if (command.contains("full-disk"))
            full.emplace(30'000);
        if (command.startsWith("generate")) {
            QTest::keyClick(&window, Qt::Key_B, Qt::ControlModifier);
        } else {
            window.findChild<QCheckBox*>("chkAppDir")->setChecked(command.contains("app-dir-only"));
            QTest::mouseClick(window.findChild<QPushButton*>("cmdTest"), Qt::LeftButton);
        }
    }
    const auto byWindow = takeDataFiles(machine);
    Machine::writeText(machine.dataFile("indll.txt"), referenceBefore);
    if (referenceBefore.empty())
        std::remove(machine.dataFile("indll.txt").c_str());
    QStringList windowLines;
    const auto* missing = window.findChild<QListView*>("lstMissing");
    for (int row = 0; row < missing->model()->rowCount(); ++row)
        windowLines << missing->model()->index(row, 0).data().toString();

    CliRun run;
    {
        std::optional<test::FileSizeLimit> full;
        if (command.contains("full-disk"))
            full.emplace(30'000);
        run = runCli(optionsFor(command), machine, {}, full.has_value());
    }
    const auto byCli = takeDataFiles(machine);

    QCOMPARE(run.status, status);
    QCOMPARE(byCli, byWindow);
    QCOMPARE(split(run.err), lines(windowRuntime.messages));
    if (command.startsWith("test") && !command.contains("full-disk"))
        QCOMPARE(split(run.out), windowLines);
}

void tst_Cli::exitStatus_data()
{
    // An entry of the lists and what the program answers a shell.
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("status");
    QTest::newRow("test, every entry matches") << "test"
                                               << "a.so b.so" << 0;
    QTest::newRow("test, one missing") << "test"
                                       << "a.so d.so" << 1;
    QTest::newRow("test, one of another size") << "test"
                                               << "a.so c.so" << 1;
    QTest::newRow("test, empty list") << "test"
                                      << "" << 0;
    QTest::newRow("generate, every name found") << "generate"
                                                << "a.so b.so" << 0;
    QTest::newRow("generate, one name not found") << "generate"
                                                  << "a.so d.so" << 1;
}

void tst_Cli::exitStatus()
{
    QFETCH(QString, command);
    QFETCH(QString, list);
    QFETCH(int, status);
    Machine machine;
    furnish(machine);
    const std::map<QString, std::string> sizes { { "a.so", "100" }, { "b.so", "200" }, { "c.so", "999" },
        { "d.so", "1" } };
    std::string names;
    std::string entries;
    for (const QString& name : list.split(' ', Qt::SkipEmptyParts)) {
        names += name.toStdString() + "\r\n";
        entries += entry(name.toStdString(), sizes.at(name));
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    Machine::writeText(machine.dataFile("indll.txt"), entries);
    const CliRun run = runCli(optionsFor(command), machine);
    QCOMPARE(run.status, status);
    QCOMPARE(run.err, std::string());
    // Without --verbose only what needs attention is listed.
    QCOMPARE(run.out.empty(), status == 0);
}

void tst_Cli::jsonLines()
{
    Machine machine;
    furnish(machine);
    cli::Options options = optionsFor("test");
    options.json = true;
    const CliRun run = runCli(options, machine);
    QCOMPARE(run.status, 1);
    const QStringList objects = split(run.out);
    QCOMPARE(objects.size(), 6);
    const auto field = [&](int line, const char* name) {
        return QJsonDocument::fromJson(objects.at(line).toUtf8()).object().value(QLatin1String(name));
    };
    QCOMPARE(field(0, "outcome").toString(), "match");
    QCOMPARE(field(0, "where").toString(), QString::fromStdString(machine.systemDirectory() + "/a.so"));
    QCOMPARE(field(0, "size").toString(), "100");
    QCOMPARE(field(0, "date").toString(), "Monday, December 7, 2026");
    QCOMPARE(field(1, "where").toString(), QString::fromStdString(machine.windowsDirectory() + "/b.so"));
    QCOMPARE(field(2, "outcome").toString(), "mismatch");
    QCOMPARE(field(2, "size").toString(), "300");
    QCOMPARE(field(2, "referenceSize").toString(), "301");
    QCOMPARE(field(2, "errorText").toString(), "Bad date or size");
    QCOMPARE(field(3, "outcome").toString(), "missing");
    QVERIFY(field(3, "size").isNull());
    QCOMPARE(field(3, "error").toInt(), 53);
    QCOMPARE(field(3, "errorText").toString(), "File not found");
    QCOMPARE(field(3, "where").toString(), QString::fromStdString(machine.applicationDirectory() + "/d.so"));
    QCOMPARE(field(4, "date").toString(), "Friday, December 4, 2026");
    QCOMPARE(field(4, "referenceDate").toString(), "Monday, December 7, 2026");
    QCOMPARE(field(5, "referenceSize").toString(), "12"); // the leading number, as the window reads it

    options = optionsFor("generate");
    options.json = true;
    const QStringList generated = split(runCli(options, machine).out);
    QCOMPARE(generated.size(), 5);
    QCOMPARE(QJsonDocument::fromJson(generated.at(3).toUtf8()).object().value("outcome").toString(), "missing");
    QCOMPARE(QJsonDocument::fromJson(generated.at(2).toUtf8()).object().value("size").toString(), "300");
}

void tst_Cli::verbose()
{
    Machine machine;
    furnish(machine);
    cli::Options options = optionsFor("test");
    options.verbose = true;
    const CliRun tested = runCli(options, machine);
    QCOMPARE(tested.status, 1);
    // Both lists in the order of the reference list, then a summary.
    QCOMPARE(split(tested.out),
        QStringList({ "a.so", "b.so", "c.so - Could not match date/size", "d.so - Error: File not found",
            "e.so - Could not match date/size", "f.so - Error: File not found" }));
    QCOMPARE(tested.err, std::string("deptest: 4 of 6 entries did not match or were not found\n"));

    options = optionsFor("generate");
    options.verbose = true;
    const CliRun generated = runCli(options, machine);
    QCOMPARE(generated.status, 1);
    QCOMPARE(split(generated.out), QStringList({ "a.so", "b.so", "c.so", "d.so - Error: File not found", "e.so" }));
    QCOMPARE(generated.err, std::string("deptest: 1 of 5 names were not found\n"));
}

void tst_Cli::printing_data()
{
    // The exceptions file (absent when empty), the printer's fault, what
    // the user is told and the exit status.
    QTest::addColumn<QString>("exceptions");
    QTest::addColumn<int>("failWith");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("status");
    const QString records = QString::fromStdString(test::exceptionsHeaderLine() + test::mismatchRecords(10));
    QTest::newRow("ten records") << records << 0 << "" << 0;
    QTest::newRow("no records") << QString::fromStdString(test::exceptionsHeaderLine()) << 0
                                << QString::fromLatin1(message::noMissingFiles) << 0;
    QTest::newRow("no exceptions file") << "" << 0 << QString::fromLatin1(message::printCouldNotFindOutDll) << 2;
    QTest::newRow("printer refuses") << records << 482 << "Error  482: Printer error" << 2;
}

void tst_Cli::printing()
{
    QFETCH(QString, exceptions);
    QFETCH(int, failWith);
    QFETCH(QString, message);
    QFETCH(int, status);
    Machine machine;
    if (!exceptions.isEmpty())
        Machine::writeText(machine.dataFile("outdll.txt"), exceptions.toStdString());
    test::RecordingPrinter printer;
    printer.failAt = failWith != 0 ? 1 : 0;
    printer.failWith = failWith;
    const CliRun run
        = runCli(optionsFor("print"), machine, [&] { return std::make_unique<ForwardingPrinter>(printer); });
    QCOMPARE(run.status, status);
    QCOMPARE(QString::fromStdString(run.err), message.isEmpty() ? QString() : message + "\n");
    QCOMPARE(printer.printed.size(), std::size_t { status == 0 && message.isEmpty() ? 1U : 0U });
    if (!printer.printed.empty())
        QCOMPARE(printer.printed.front().size(), std::size_t { 2 }); // nine blocks to a page
}

void tst_Cli::arguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    // The start of what is written instead of running, or the options set.
    QTest::addColumn<QString>("answer");
    QTest::newRow("test") << QStringList { "--test" } << -1 << "test";
    QTest::newRow("test in a directory, JSON")
        << QStringList { "--test", "--dir", "/opt/app", "--json" } << -1 << "test json dir=/opt/app";
    QTest::newRow("directory with =") << QStringList { "--generate", "--dir=/x" } << -1 << "generate dir=/x";
    QTest::newRow("names of programs") << QStringList { "--names-of", "a", "b", "--output", "-" } << -1
                                       << "names programs=a,b output=-";
    QTest::newRow("names with the library path") << QStringList { "--names-of", "a", "--library-path", "--dir", "/x" }
                                                 << -1 << "names dir=/x programs=a library-path";
    QTest::newRow("output without names") << QStringList { "--test", "--output", "x" } << 2 << "deptest: --output";
    QTest::newRow("names with JSON") << QStringList { "--names-of", "a", "--json" } << 2 << "deptest: --names-of";
    QTest::newRow("names without a file") << QStringList { "--names-of" } << 2 << "deptest: Missing value";
    QTest::newRow("help") << QStringList { "--help" } << 0 << "Usage: deptest";
    QTest::newRow("version") << QStringList { "--version" } << 0 << "deptest 1.0";
    QTest::newRow("no command") << QStringList { "--json" } << 2 << "deptest: give one of";
    QTest::newRow("two commands") << QStringList { "--test", "--print" } << 2 << "deptest: give one of";
    QTest::newRow("unknown option") << QStringList { "--test", "--fast" } << 2 << "deptest: Unknown option 'fast'";
    QTest::newRow("stray argument") << QStringList { "--test", "/opt/app" } << 2
                                    << "deptest: unexpected argument '/opt/app'";
    QTest::newRow("directory missing") << QStringList { "--test", "--dir" } << 2 << "deptest: Missing value";
    QTest::newRow("check box without test")
        << QStringList { "--generate", "--app-dir-only" } << 2 << "deptest: --app-dir-only goes with --test";
    QTest::newRow("jobs") << QStringList { "--test", "--jobs", "4" } << -1 << "test jobs=4";
    QTest::newRow("one job") << QStringList { "--generate", "--jobs=1" } << -1 << "generate jobs=1";
    QTest::newRow("no jobs") << QStringList { "--test", "--jobs", "0" } << 2 << "deptest: --jobs needs a number";
    QTest::newRow("jobs not a number") << QStringList { "--test", "--jobs", "all" } << 2
                                       << "deptest: --jobs needs a number";
    QTest::newRow("jobs with print") << QStringList { "--print", "--jobs", "2" } << 2
                                     << "deptest: --jobs goes with --test or --generate";
    QTest::newRow("json with print") << QStringList { "--print", "--json" } << 2
                                     << "deptest: --json goes with --test or --generate";
}

void tst_Cli::arguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, answer);
    const cli::Parsed parsed = cli::parseArguments(QStringList { "/opt/deptest/deptest" } + arguments);
    if (status < 0) {
        QVERIFY2(parsed.options, qPrintable(parsed.answer));
        const cli::Options& set = *parsed.options;
        QStringList options { QStringList { "window", "test", "generate", "print", "names" }.at(int(set.command)) };
        const auto add = [&](bool isSet, const QString& text) { options << (isSet ? text : QString()); };
        add(set.appDirOnly, "app-dir-only");
        add(set.json, "json");
        add(set.verbose, "verbose");
        add(!set.directory.isEmpty(), "dir=" + set.directory);
        add(!set.programs.isEmpty(), "programs=" + set.programs.join(','));
        add(!set.output.isEmpty(), "output=" + set.output);
        add(set.jobs != chosenLookupJobs, "jobs=" + QString::number(set.jobs));
        add(set.libraryPath, "library-path");
        options.removeAll(QString());
        QCOMPARE(options.join(' '), answer);
        return;
    }
    QVERIFY(!parsed.options);
    QCOMPARE(parsed.status, status);
    QVERIFY2(parsed.answer.startsWith(answer), qPrintable(parsed.answer));
    QCOMPARE(parsed.answerIsError, status == 2);
    if (status == 2)
        QVERIFY2(!parsed.answer.contains('\n'), "an error takes one line");
    if (arguments.contains("--help"))
        QVERIFY(parsed.answer.contains("Exit status:\n  0 "));
}

void tst_Cli::progressOnlyOnATerminal()
{
    // A clock the test moves by hand.
    cli::Progress::Clock::time_point now {};
    const auto clock = [&now] { return now; };
    using std::chrono::milliseconds;

    int pipeEnds[2];
    QCOMPARE(::pipe(pipeEnds), 0);
    {
        cli::Progress onPipe(pipeEnds[1], 10, clock);
        QVERIFY(!onPipe.enabled());
        now += milliseconds(5000);
        onPipe.update(5);
        onPipe.erase();
    }
    QCOMPARE(written(pipeEnds[0], pipeEnds[1]), std::string());
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);

    int master = -1;
    int slave = -1;
    QCOMPARE(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
    {
        cli::Progress onTerminal(slave, 10, clock);
        QVERIFY(onTerminal.enabled());
        now += milliseconds(900);
        onTerminal.update(1);
        QCOMPARE(written(master, slave), std::string()); // a short run shows nothing
        now += milliseconds(200);
        onTerminal.update(5);
        const std::string first = written(master, slave);
        QVERIFY2(first.starts_with("\rdeptest: 5 of 10 entries, ") && first.ends_with("/s\033[K"), first.c_str());
        now += milliseconds(50);
        onTerminal.update(6);
        QCOMPARE(written(master, slave), std::string()); // not more than ten times a second
        now += milliseconds(60);
        onTerminal.update(7);
        QVERIFY(written(master, slave).starts_with("\rdeptest: 7 of 10 entries, "));
    }
    QCOMPARE(written(master, slave), std::string("\r\033[K")); // erased at the end
    ::close(master);
    ::close(slave);
}

void tst_Cli::digestListThereOrNot_data()
{
    // Why the digest list cannot be read (0: there is none; -1: it is
    // read), whether entries are JSON, what standard error says, the exit
    // status and what the entry says of its contents.
    QTest::addColumn<int>("refusal");
    QTest::addColumn<bool>("json");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonValue>("contents");
    const QString said = "indll.sha256 could not be read, so no contents were compared: ";
    const QJsonValue none(QJsonValue::Undefined);
    const QJsonValue notCompared(QJsonValue::Null);
    QTest::newRow("permission denied") << int(error::permissionDenied) << false << said + "Error  70: Permission denied"
                                       << 2 << none;
    QTest::newRow("permission denied, JSON")
        << int(error::permissionDenied) << true << said + "Error  70: Permission denied" << 2 << notCompared;
    QTest::newRow("path/file access error, JSON")
        << int(error::pathFileAccess) << true << said + "Error  75: Path/File access error" << 2 << notCompared;
    QTest::newRow("device error") << int(error::deviceIo) << false << said + "Error  57: Device I/O error" << 2 << none;
    QTest::newRow("absent: nothing said") << 0 << false << "" << 0 << none;
    QTest::newRow("absent, JSON: nothing said") << 0 << true << "" << 0 << none;
    QTest::newRow("read, JSON: the contents differ") << -1 << true << "" << 1 << QJsonValue("differ");
}

void tst_Cli::digestListThereOrNot()
{
    QFETCH(int, refusal);
    QFETCH(bool, json);
    QFETCH(QString, message);
    QFETCH(int, status);
    QFETCH(QJsonValue, contents);
    // The machine's directories, their files in memory: a.so matches by
    // size and day, and the digest list gives it a digest of other bytes.
    Machine machine;
    auto files = std::make_shared<test::MemoryFiles>();
    for (const std::string& directory :
        { machine.systemDirectory(), machine.windowsDirectory(), machine.applicationDirectory() })
        files->addDirectory(directory + "/");
    files->put(machine.systemDirectory() + "/a.so", "0123456789", FileTime { 2026, 12, 7, 10, 30, 0 });
    files->put(machine.dataFile("indll.txt"), entry("a.so", "10"));
    if (refusal != 0) {
        const std::string digests = machine.dataFile("indll.sha256");
        files->put(digests, hexOf(test::MemoryFiles::fingerprint("9876543210")) + "  a.so\n");
        if (refusal > 0)
            files->makeUnreadable(digests, Error::of(refusal));
    }
    HostSettings settings = machine.settings();
    settings.files = files;
    cli::Options options = optionsFor("test");
    options.json = json;
    const CliRun run = runCli(options, settings);

    QCOMPARE(run.status, status);
    QCOMPARE(QString::fromStdString(run.err), message.isEmpty() ? QString() : message + "\n");
    if (json) {
        // The key is there whenever the list is, read or not.
        const QJsonObject entry = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
        QCOMPARE(entry.value("outcome").toString(), status == 1 ? "mismatch" : "match");
        QCOMPARE(entry.contains("contents"), refusal != 0);
        QCOMPARE(entry.value("contents"), contents);
    } else {
        QCOMPARE(run.out, std::string());
    }
    if (status != 1)
        QCOMPARE(files->find(machine.dataFile("outdll.txt"))->bytes, test::exceptionsHeaderLine());
}

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    tst_Cli test;
    return QTest::qExec(&test, argc, argv);
}

void tst_Cli::namesOfPrograms_data()
{
    // The programs given, where the list goes; the exit status, the list
    // and what standard error says.
    QTest::addColumn<QStringList>("programs");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("errors");
    // Whether --library-path is given: the loader's path is ROOT/away.
    QTest::addColumn<bool>("libraryPath");
    QTest::newRow("every library found") << QStringList { "prog" } << "" << 0 << "\"prog\"\r\n\"liba.so\"\r\n"
                                         << "" << false;
    QTest::newRow("to standard output") << QStringList { "prog" } << "-" << 0 << "\"prog\"\r\n\"liba.so\"\r\n"
                                        << "" << false;
    QTest::newRow("a library not found") << QStringList { "prog", "needy" } << "" << 1
                                         << "\"prog\"\r\n\"needy\"\r\n\"liba.so\"\r\n\"libgone.so\"\r\n"
                                         << "deptest: libgone.so: not found, needed by APP/needy\n"
                                         << false;
    // Found by the loader, but where the test would not find it: left out
    // of the list, which then falls short as a library not found does.
    QTest::newRow("a library outside the searched directories")
        << QStringList { "outsider" } << "" << 1 << "\"outsider\"\r\n"
        << "deptest: ROOT/away/libaway.so: lies outside the directories the test searches\n"
        << false;
    QTest::newRow("a library hidden by another of its name")
        << QStringList { "shadowed" } << "" << 1 << "\"shadowed\"\r\n"
        << "deptest: APP/libshadow.so: is hidden from the test by another file of its name: "
           "ROOT/system/libshadow.so\n"
        << false;
    QTest::newRow("a text file") << QStringList { "prog", "notes.txt" } << "" << 2 << "\"prog\"\r\n\"liba.so\"\r\n"
                                 << "deptest: APP/notes.txt: is neither an ELF nor a PE executable\n"
                                 << false;
    QTest::newRow("a program not there") << QStringList { "prog", "gone" } << "" << 2 << "\"prog\"\r\n\"liba.so\"\r\n"
                                         << "deptest: APP/gone: No such file or directory\n"
                                         << false;
    QTest::newRow("nothing readable keeps the old list")
        << QStringList { "notes.txt" } << "" << 2 << "\"old\"\r\n"
        << "deptest: APP/notes.txt: is neither an ELF nor a PE executable\n"
        << false;
    QTest::newRow("the loader's path, asked for")
        << QStringList { "needs-away" } << "" << 1 << "\"needs-away\"\r\n"
        << "deptest: ROOT/away/libaway.so: lies outside the directories the test searches\n"
        << true;
    QTest::newRow("the loader's path, not asked for")
        << QStringList { "needs-away" } << "" << 1 << "\"needs-away\"\r\n\"libaway.so\"\r\n"
        << "deptest: libaway.so: not found, needed by APP/needs-away\n"
        << false;
}

void tst_Cli::namesOfPrograms()
{
    QFETCH(QStringList, programs);
    QFETCH(QString, output);
    QFETCH(int, status);
    QFETCH(QString, list);
    QFETCH(QString, errors);
    QFETCH(bool, libraryPath);
    Machine machine;
    const std::string application = machine.applicationDirectory();
    test::writeBinary(application + "/prog", test::makeElf({ .needed = { "liba.so" }, .runpath = "$ORIGIN" }));
    test::writeBinary(application + "/needy", test::makeElf({ .needed = { "libgone.so" } }));
    test::writeBinary(application + "/liba.so", test::makeElf({}));
    test::writeBinary(
        application + "/outsider", test::makeElf({ .needed = { "libaway.so" }, .runpath = machine.root() + "/away" }));
    test::writeBinary(machine.root() + "/away/libaway.so", test::makeElf({}));
    test::writeBinary(application + "/needs-away", test::makeElf({ .needed = { "libaway.so" } }));
    test::writeBinary(application + "/shadowed", test::makeElf({ .needed = { "libshadow.so" }, .runpath = "$ORIGIN" }));
    test::writeBinary(application + "/libshadow.so", test::makeElf({}));
    test::writeBinary(machine.systemDirectory() + "/libshadow.so", test::makeElf({}));
    Machine::writeText(application + "/notes.txt", "text\n");
    Machine::writeText(machine.dataFile("dlls.txt"), "\"old\"\r\n");
    cli::Options options;
    options.command = cli::Command::Names;
    for (const QString& program : programs)
        options.programs << QString::fromStdString(application + "/") + program;
    options.output = output;
    options.libraryPath = libraryPath;
    HostSettings settings = machine.settings();
    settings.libraryPath = machine.root() + "/away";
    const CliRun run = runCli(options, settings);
    QCOMPARE(run.status, status);
    QCOMPARE(QString::fromStdString(run.err)
                 .replace(QString::fromStdString(application), "APP")
                 .replace(QString::fromStdString(machine.root()), "ROOT"),
        errors);
    if (output == "-") {
        QCOMPARE(QString::fromStdString(run.out), list);
        QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), std::string("\"old\"\r\n"));
    } else {
        QCOMPARE(QString::fromStdString(Machine::readText(machine.dataFile("dlls.txt"))), list);
    }
}

#include "tst_cli.moc"
