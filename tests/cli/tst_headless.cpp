// The real program started from outside, as a shell starts it: without a
// display, under several languages, its one-line errors and exit statuses,
// and requests to end in the middle of a run.

#include "tests/names/TestBinaries.h"
#include "tests/support/Machine.h"
#include "tests/support/PrintServer.h"
#include "tests/support/Requirement.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

using deptest::test::Machine;
using deptest::test::readToEnd;

extern char** environ;

namespace {

const QDateTime reference(QDate(2026, 12, 7), QTime(10, 30));

struct Finished {
    int status { -1 };
    QByteArray out;
    QByteArray err;
};

// This process's environment without any way to a window system, with
// LANG as given (unset when empty) and no other language setting.
QProcessEnvironment withoutDisplay(const QString& lang)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : environment.keys()) {
        if (name.startsWith("LC_") || name == "LANGUAGE" || name == "LANG")
            environment.remove(name);
    }
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME" })
        environment.remove(QLatin1String(name));
    if (!lang.isEmpty())
        environment.insert("LANG", lang);
    // Qt names every plugin it loads, platform plugins included.
    environment.insert("QT_DEBUG_PLUGINS", "1");
    return environment;
}

Finished runProgram(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(DEPTEST_EXECUTABLE), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
        process.readAllStandardError() };
}

// Whether Qt's plugin log shows a platform plugin of the window system
// being looked for or loaded.
bool loadsAPlatformPlugin(const QByteArray& pluginLog) { return pluginLog.contains("/plugins/platforms"); }

QByteArray withoutPluginLog(const QByteArray& err)
{
    QByteArray kept;
    for (const QByteArray& line : err.split('\n')) {
        if (!line.isEmpty() && !line.startsWith("qt.core.") && !line.startsWith("QFactoryLoader")
            && !line.startsWith("  ") && !line.startsWith("Got keys"))
            kept += line + '\n';
    }
    return kept;
}

} // namespace

class tst_Headless : public QObject {
    Q_OBJECT
public:
    explicit tst_Headless(QString printRoot)
        : m_printRoot(std::move(printRoot))
    {
    }

private slots:
    void noWindowSystem_data();
    void noWindowSystem();
    void printingDrawsOffscreen();
    void withoutTheWindowModule();
    void namesOfAProgram();
    void printsWithoutADisplay();
    void badArguments_data();
    void badArguments();
    void requestsToEnd_data();
    void requestsToEnd();
    void manualPage();
    void contentsFromTheShell();

private:
    QString m_printRoot;
};

void tst_Headless::noWindowSystem_data()
{
    QTest::addColumn<QString>("lang");
    QTest::addColumn<QString>("monthName"); // as the generated list writes December
    QTest::newRow("C.UTF-8") << "C.UTF-8"
                             << "December";
    QTest::newRow("LANG unset") << ""
                                << "December";
    QTest::newRow("German") << "de_DE.UTF-8"
                            << "Dezember";
}

void tst_Headless::noWindowSystem()
{
    QFETCH(QString, lang);
    QFETCH(QString, monthName);
    Machine machine;
    for (const char* name : { "deptest-headless-1.bin", "deptest-headless-2.bin" })
        Machine::makeFile(machine.applicationDirectory() + "/" + name, 1234, reference);
    Machine::writeText(
        machine.dataFile("dlls.txt"), "deptest-headless-1.bin\r\ndeptest-headless-2.bin\r\ndeptest-absent.bin\r\n");
    const QProcessEnvironment environment = withoutDisplay(lang);
    const QString directory = QString::fromStdString(machine.applicationDirectory());

    // Generate, then test against what was generated: the same language
    // reads its own dates back, so everything matches.
    const Finished generated = runProgram({ "--generate", "--dir", directory }, environment);
    QCOMPARE(generated.status, 1); // one name was not found
    QVERIFY2(!loadsAPlatformPlugin(generated.err), generated.err.constData());
    QCOMPARE(generated.out, QByteArray("deptest-absent.bin - Error: File not found\n"));
    const std::string list = Machine::readText(machine.dataFile("indll.txt"));
    QVERIFY2(QString::fromStdString(list).contains(monthName), list.c_str());
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"deptest-absent.bin\"\r\n"));

    const Finished tested = runProgram({ "--test", "--app-dir-only", "--json", "--dir", directory }, environment);
    QVERIFY2(!loadsAPlatformPlugin(tested.err), tested.err.constData());
    QCOMPARE(withoutPluginLog(tested.err), QByteArray());
    QCOMPARE(tested.status, 0);
    const QList<QByteArray> objects = tested.out.split('\n');
    QCOMPARE(objects.size(), 3); // one whole line for each entry
    for (const QByteArray& object : objects.first(2)) {
        const QJsonObject entry = QJsonDocument::fromJson(object).object();
        QCOMPARE(entry.value("outcome").toString(), "match");
        QCOMPARE(entry.value("size").toString(), "1234");
        QVERIFY2(entry.value("date").toString().contains(monthName), object.constData());
    }
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")), deptest::test::exceptionsHeaderLine());

    // The test run without a reference list is told why, and fails.
    std::remove(machine.dataFile("indll.txt").c_str());
    const Finished unlisted = runProgram({ "--test", "--dir", directory }, environment);
    QCOMPARE(unlisted.status, 2);
    QCOMPARE(withoutPluginLog(unlisted.err), QByteArray("Error:  Could not find InDLL.txt.\n"));
}

// The executable alone, as a copy without its lib/: the commands of a
// shell run on Qt Core, while the window and printing say why they cannot.
void tst_Headless::withoutTheWindowModule()
{
    QTemporaryDir alone;
    const QString executable = alone.filePath("deptest");
    QVERIFY(QFile::copy(QStringLiteral(DEPTEST_EXECUTABLE), executable));
    Machine machine;
    Machine::makeFile(machine.applicationDirectory() + "/deptest-alone.bin", 10, reference);
    Machine::writeText(machine.dataFile("dlls.txt"), "deptest-alone.bin\r\n");
    const QString directory = QString::fromStdString(machine.applicationDirectory());
    QProcessEnvironment environment = withoutDisplay("C.UTF-8");
    environment.insert("QT_QPA_PLATFORM", "offscreen"); // a platform chosen: the window is tried
    const auto run = [&](const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(executable, arguments);
        const bool ended = process.waitForFinished(120000);
        return std::pair { ended && process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            withoutPluginLog(process.readAllStandardError()) };
    };

    QCOMPARE(run({ "--generate", "--dir", directory }).first, 0);
    QCOMPARE(run({ "--test", "--dir", directory }).first, 0);
    Machine::makeFile(machine.applicationDirectory() + "/deptest-alone.bin", 11, reference);
    QCOMPARE(run({ "--test", "--dir", directory }).first, 1); // a report to print
    for (const QStringList& arguments : { QStringList {}, QStringList { "--print", "--dir", directory } }) {
        const auto [status, err] = run(arguments);
        QCOMPARE(status, 2);
        QVERIFY2(err.startsWith("deptest: the window system cannot be used: "), err.constData());
        QVERIFY2(err.contains("deptest-window.so"), err.constData());
        QVERIFY2(err.count('\n') == 1, err.constData()); // said once, and nothing untrue after it
    }
}

void tst_Headless::namesOfAProgram()
{
    // A program beside a library it needs that only LD_LIBRARY_PATH leads
    // to; its name list on standard output, the one in the directory kept.
    Machine machine;
    const std::string directory = machine.applicationDirectory();
    deptest::test::writeBinary(directory + "/prog", deptest::test::makeElf({ .needed = { "libdeptest-beside.so" } }));
    deptest::test::writeBinary(directory + "/libdeptest-beside.so", deptest::test::makeElf({}));
    Machine::writeText(machine.dataFile("dlls.txt"), "\"old\"\r\n");
    QProcessEnvironment environment = withoutDisplay("C.UTF-8");
    environment.insert("LD_LIBRARY_PATH", QString::fromStdString(directory));
    const QStringList arguments { "--names-of", QString::fromStdString(directory + "/prog"), "--output", "-", "--dir",
        QString::fromStdString(directory) };
    const QByteArray list = "\"prog\"\r\n\"libdeptest-beside.so\"\r\n";

    const Finished searched = runProgram(arguments + QStringList { "--library-path" }, environment);
    QCOMPARE(withoutPluginLog(searched.err), QByteArray());
    QCOMPARE(searched.status, 0);
    QCOMPARE(searched.out, list);
    const Finished unsearched = runProgram(arguments, environment);
    QCOMPARE(unsearched.status, 1);
    QCOMPARE(unsearched.out, list);
    QVERIFY2(withoutPluginLog(unsearched.err).startsWith("deptest: libdeptest-beside.so: not found"),
        unsearched.err.constData());
    QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), std::string("\"old\"\r\n"));

    // A library the loader finds where the test does not search: every
    // library found, and still not every one listed.
    const std::string away = machine.root() + "/away";
    deptest::test::writeBinary(
        directory + "/outsider", deptest::test::makeElf({ .needed = { "libdeptest-away.so" }, .runpath = away }));
    deptest::test::writeBinary(away + "/libdeptest-away.so", deptest::test::makeElf({}));
    const Finished outside = runProgram({ "--names-of", QString::fromStdString(directory + "/outsider"), "--output",
                                            "-", "--dir", QString::fromStdString(directory) },
        environment);
    QCOMPARE(outside.out, QByteArray("\"outsider\"\r\n"));
    QCOMPARE(withoutPluginLog(outside.err),
        QByteArray::fromStdString(
            "deptest: " + away + "/libdeptest-away.so: lies outside the directories the test searches\n"));
    QCOMPARE(outside.status, 1);
}

void tst_Headless::printingDrawsOffscreen()
{
    // Printing needs Qt's drawing, and the program chooses the offscreen
    // platform for it: the same check that finds no platform plugin above
    // finds this one, and no display is needed.
    Machine machine;
    Machine::writeText(machine.dataFile("outdll.txt"), deptest::test::exceptionsHeaderLine());
    // As root over su: no runtime directory either, and nothing said of it.
    QProcessEnvironment environment = withoutDisplay("C.UTF-8");
    environment.remove("XDG_RUNTIME_DIR");
    const Finished printed
        = runProgram({ "--print", "--dir", QString::fromStdString(machine.applicationDirectory()) }, environment);
    QVERIFY2(loadsAPlatformPlugin(printed.err), printed.err.constData());
    QVERIFY(printed.err.contains("libqoffscreen.so"));
    QCOMPARE(printed.status, 0);
    QVERIFY(printed.err.contains("\nNo missing files to report.\n"));
    QVERIFY2(!printed.err.contains("XDG_RUNTIME_DIR"), printed.err.constData());
}

void tst_Headless::printsWithoutADisplay()
{
    if (const QString missing = deptest::test::PrintServer::missingTools(); !missing.isEmpty())
        SKIP_UNLESS_REQUIRED(missing);
    deptest::test::PrintServer server(m_printRoot);
    const QString failure = server.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    Machine machine;
    Machine::writeText(
        machine.dataFile("outdll.txt"), deptest::test::exceptionsHeaderLine() + deptest::test::mismatchRecords(10));
    const QStringList arguments { "--print", "--dir", QString::fromStdString(machine.applicationDirectory()) };
    QProcessEnvironment environment = withoutDisplay("C.UTF-8");
    environment.insert("CUPS_SERVER", deptest::test::PrintServer::socketPath(m_printRoot));

    const Finished printed = runProgram(arguments, environment);
    QCOMPARE(printed.status, 0);
    const QString pdf = server.receivedPdf();
    QVERIFY2(!pdf.isEmpty(), "the printer received no PDF job");
    const QString text = deptest::test::runTool("pdftotext", { "-layout", pdf, "-" });
    QVERIFY(text.contains(QRegularExpression("File:\\s+name9\\.so")));

    // Without a default printer the command cannot do its work.
    deptest::test::runTool(
        QStandardPaths::findExecutable("lpadmin", { "/usr/sbin", "/usr/bin" }), { "-x", "deptest-test" });
    const Finished refused = runProgram(arguments, environment);
    QCOMPARE(refused.status, 2);
    QVERIFY2(refused.err.contains("\nError  482: No default destination.\n"), refused.err.constData());
}

void tst_Headless::contentsFromTheShell()
{
    Machine machine;
    const QString app = QString::fromStdString(machine.applicationDirectory());
    const std::string file = machine.dataFile("deptest-digest.bin");
    // Other bytes at the same size and time.
    const auto rewrite = [&file](std::string_view bytes) {
        Machine::writeText(file, bytes);
        QFile touched(QString::fromStdString(file));
        return touched.open(QIODevice::ReadWrite) && touched.setFileTime(reference, QFileDevice::FileModificationTime);
    };
    QVERIFY(rewrite("abc"));
    Machine::writeText(machine.dataFile("dlls.txt"), "deptest-digest.bin\r\n");
    const QProcessEnvironment environment = withoutDisplay("C.UTF-8");
    QCOMPARE(runProgram({ "--generate", "--digest", "--dir", app }, environment).status, 0);
    const QByteArray line = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad  deptest-digest.bin\n";
    QCOMPARE(QByteArray::fromStdString(Machine::readText(machine.dataFile("indll.sha256"))), line);
    // sha256sum checks the same list.
    QProcess check;
    check.setWorkingDirectory(app);
    check.start("sha256sum", { "--check", "--status", "indll.sha256" });
    QVERIFY(check.waitForFinished(60000));
    QCOMPARE(check.exitCode(), 0);

    // Only the contents tell.
    QVERIFY(rewrite("abd"));
    const Finished differ = runProgram({ "--test", "--json", "--dir", app }, environment);
    QCOMPARE(differ.status, 1);
    QVERIFY2(differ.out.contains("\"contents\":\"differ\"") && differ.out.contains("\"outcome\":\"mismatch\""),
        differ.out.constData());
    QVERIFY(QByteArray::fromStdString(Machine::readText(machine.dataFile("outdll.txt")))
                .endsWith(",\"Contents differ\"\r\n"));

    // A list cut short is said, and fails the command.
    Machine::writeText(machine.dataFile("indll.sha256"), "");
    QVERIFY(rewrite("abc"));
    const Finished cut = runProgram({ "--test", "--dir", app }, environment);
    QCOMPARE(cut.status, 2);
    QVERIFY2(withoutPluginLog(cut.err).contains("1 name of indll.txt without a digest"), cut.err.constData());

    // Removed with the next generation that says so; none made unasked.
    QCOMPARE(runProgram({ "--generate", "--no-digest", "--dir", app }, environment).status, 0);
    QVERIFY(!QFile::exists(QString::fromStdString(machine.dataFile("indll.sha256"))));
    QCOMPARE(runProgram({ "--generate", "--dir", app }, environment).status, 0);
    QVERIFY(!QFile::exists(QString::fromStdString(machine.dataFile("indll.sha256"))));
}

void tst_Headless::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("says"); // a part of the answer
    QTest::newRow("unknown option") << QStringList { "--test", "--quick" } << 2 << "quick";
    QTest::newRow("stray argument") << QStringList { "--generate", "extra" } << 2 << "extra";
    QTest::newRow("no command") << QStringList { "--verbose" } << 2 << "--print and --names-of";
    QTest::newRow("the window without a display") << QStringList {} << 2 << "no display";
    QTest::newRow("--digest without --generate") << QStringList { "--test", "--digest" } << 2 << "go with --generate";
    QTest::newRow("--digest and --no-digest")
        << QStringList { "--generate", "--digest", "--no-digest" } << 2 << "not both";
    QTest::newRow("help") << QStringList { "--help" } << 0 << "--names-of";
    QTest::newRow("version") << QStringList { "--version" } << 0 << "deptest";
}

void tst_Headless::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, says);
    const Finished finished = runProgram(arguments, withoutDisplay("C.UTF-8"));
    QVERIFY2((finished.out + finished.err).contains(says.toUtf8()), finished.err.constData());
    QCOMPARE(finished.status, status);
    QVERIFY(!loadsAPlatformPlugin(finished.err));
    const QByteArray err = withoutPluginLog(finished.err);
    if (status == 2) {
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.startsWith("deptest: "), err.constData());
        QCOMPARE(finished.out, QByteArray());
    } else {
        QCOMPARE(err, QByteArray());
        QVERIFY(!finished.out.isEmpty());
    }
}

void tst_Headless::requestsToEnd_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("generate");
    for (const auto& [signal, name] :
        { std::pair { SIGINT, "SIGINT" }, std::pair { SIGTERM, "SIGTERM" }, std::pair { SIGHUP, "SIGHUP" } }) {
        QTest::addRow("test, %s", name) << signal << false;
        QTest::addRow("generate, %s", name) << signal << true;
    }
}

namespace {

// A list of entries for files that are nowhere: names to generate from,
// or a reference list to test.
void writeAbsentEntries(const Machine& machine, bool generate, int entries)
{
    std::string list;
    for (int i = 0; i < entries; ++i) {
        const std::string name = "absent" + std::to_string(i) + ".so";
        list += generate ? name + "\r\n" : "\"" + name + "\",\"1\",\"Monday, December 7, 2026\"\r\n";
    }
    Machine::writeText(machine.dataFile(generate ? "dlls.txt" : "indll.txt"), list);
}

// Starts the program with its standard output into the pipe and its
// standard error into a file.
void startProgram(std::vector<std::string> arguments, const int (&output)[2], const std::string& errPath, pid_t& child)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QCOMPARE(posix_spawn(&child, DEPTEST_EXECUTABLE, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
}

// One whole record in the exceptions list for each entry judged, in order.
void checkRecordsOfJudgedEntries(const Machine& machine, qsizetype done)
{
    const QList<QByteArray> records
        = QByteArray::fromStdString(Machine::readText(machine.dataFile("outdll.txt"))).split('\n');
    QCOMPARE(records.size() - 2, done); // the header, and nothing after the last line end
    QVERIFY(records.constLast().isEmpty());
    QVERIFY(records.at(records.size() - 2).startsWith("\"absent" + QByteArray::number(done - 1) + ".so\""));
    QVERIFY(records.at(records.size() - 2).endsWith("\"File not found\"\r"));
}

} // namespace

void tst_Headless::requestsToEnd()
{
    QFETCH(int, signal);
    QFETCH(bool, generate);
    constexpr int entries = 100'000;
    Machine machine;
    writeAbsentEntries(machine, generate, entries);
    const std::string oldReference = "\"old.so\",\"1\",\"Monday, December 7, 2026\"\r\n";
    if (generate) {
        Machine::writeText(machine.dataFile("indll.txt"), oldReference);
        Machine::writeText(machine.dataFile("dllerr.txt"), "\"old.so\"\r\n");
    }

    // Standard output is a pipe nobody reads until it is full: the run is
    // then certainly under way, held in a write, with most entries to go.
    int output[2];
    QCOMPARE(::pipe(output), 0);
    const std::string errPath = machine.root() + "/stderr.txt";
    const std::string directory = machine.applicationDirectory();
    std::vector<std::string> arguments { DEPTEST_EXECUTABLE, generate ? "--generate" : "--test", "--json", "--dir",
        directory };
    if (!generate)
        arguments.emplace_back("--app-dir-only");
    pid_t child = 0;
    startProgram(arguments, output, errPath, child);
    if (QTest::currentTestFailed())
        return;
    ::close(output[1]);

    QDeadlineTimer deadline(60000);
    int waiting = 0;
    while (::ioctl(output[0], FIONREAD, &waiting) == 0 && waiting < 65536 - 4096 && !deadline.hasExpired())
        QTest::qWait(5);
    QVERIFY2(waiting >= 65536 - 4096, "the program's output never filled the pipe");
    QCOMPARE(::kill(child, signal), 0);

    const QByteArray out = readToEnd(output[0]);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY2(WIFEXITED(status), "the program did not end by itself");
    QCOMPARE(WEXITSTATUS(status), 2);

    const QList<QByteArray> objects = out.split('\n');
    const qsizetype done = objects.size() - 1;
    QVERIFY(objects.constLast().isEmpty()); // every JSON line whole
    QVERIFY2(done > 0 && done < entries, qPrintable(QString::number(done)));
    const std::string err = Machine::readText(errPath);
    QCOMPARE(err, "deptest: stopped on request after " + std::to_string(done) + " entries\n");

    if (generate) {
        // Both old lists stay as they were, and nothing of the new ones is left.
        QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), oldReference);
        QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"old.so\"\r\n"));
        QCOMPARE(machine.filesInApplicationDirectory().size(), 3);
    } else {
        checkRecordsOfJudgedEntries(machine, done);
    }
}

void tst_Headless::manualPage()
{
    const QString page = QStringLiteral(DEPTEST_SOURCE_DIR "/docs/deptest.1");
    QFile file(page);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString source = QString::fromUtf8(file.readAll()).replace(QLatin1String("\\-"), QLatin1String("-"));

    // The page and --help name the same options.
    const QRegularExpression longOption(QStringLiteral("--[a-z][a-z-]+"));
    const auto optionsIn = [&longOption](const QString& text) {
        QStringList found;
        for (const QRegularExpressionMatch& match : longOption.globalMatch(text))
            found << match.captured();
        found.removeDuplicates();
        found.sort();
        return found;
    };
    const Finished help = runProgram({ "--help" }, withoutDisplay("C.UTF-8"));
    QStringList helped = optionsIn(QString::fromUtf8(help.out));
    helped.removeAll("--help-all"); // Qt's own, for the window's platform options
    QCOMPARE(optionsIn(source), helped);

    // man renders it without a warning.
    const QString man = QStandardPaths::findExecutable("man");
    if (man.isEmpty())
        SKIP_UNLESS_REQUIRED("man is not installed (Debian: man-db)");
    QProcess render;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("MANWIDTH", "80");
    render.setProcessEnvironment(environment);
    render.start(man, { "--warnings", "-l", page });
    QVERIFY(render.waitForFinished(60000));
    QCOMPARE(render.exitCode(), 0);
    QCOMPARE(render.readAllStandardError(), QByteArray());
    QVERIFY(render.readAllStandardOutput().contains("EXIT STATUS"));
}

int main(int argc, char* argv[])
{
    // The print server must be chosen before anything asks CUPS for it.
    QTemporaryDir printRoot;
    qputenv("CUPS_SERVER", deptest::test::PrintServer::socketPath(printRoot.path()).toUtf8());
    QCoreApplication application(argc, argv);
    tst_Headless test(printRoot.path());
    return QTest::qExec(&test, argc, argv);
}
#include "tst_headless.moc"
