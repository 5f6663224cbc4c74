// The real program on lists that are not plain files and on lists another
// run is using, as a shell or a schedule meets them: every run ends by
// itself with a clear message, never waits for ever, never passes on a list
// it could not read, and never writes into lists another run is writing.

#include "tests/support/Machine.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using deptest::test::Machine;

extern char** environ;

namespace {

// Long enough for any list here on the slowest machine; a run still going
// then is one that would never have ended.
constexpr int patience = 60000;

const std::string absentEntry = "\"absent.so\",\"1\",\"Monday, December 7, 2026\"\r\n";

struct Finished {
    bool ended { false };
    int status { -1 };
    QByteArray err;
};

QProcessEnvironment plainEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("DISPLAY");
    environment.remove("WAYLAND_DISPLAY");
    environment.insert("LANG", "C.UTF-8");
    return environment;
}

// Runs the program to its end, or kills it at the deadline (and says so).
Finished runProgram(const QStringList& arguments, const QByteArray& input = {})
{
    QProcess process;
    process.setProcessEnvironment(plainEnvironment());
    process.start(QStringLiteral(DEPTEST_EXECUTABLE), arguments);
    if (!process.waitForStarted(patience))
        return {};
    if (!input.isNull()) {
        process.write(input);
        process.closeWriteChannel();
    }
    if (!process.waitForFinished(patience)) {
        process.kill();
        process.waitForFinished();
        return { false, -1, process.readAllStandardError() };
    }
    return { true, process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
        process.readAllStandardError() };
}

// A socket bound at `path`, as a service leaves one in a folder.
bool bindSocket(const std::string& path)
{
    const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    if (socket < 0 || path.size() >= sizeof address.sun_path)
        return false;
    path.copy(address.sun_path, path.size());
    const bool bound = ::bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(socket); // the name stays in the folder
    return bound;
}

// The program started with standard output into a pipe nobody reads
// until it is full: the run is then certainly under way and holds its
// lists, stopped in a write with most entries to go.
struct HeldRun {
    pid_t process { 0 };
    int output { -1 };
};

HeldRun startHeldRun(const std::string& directory, bool generation = false)
{
    int output[2];
    if (::pipe(output) != 0)
        return {};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, output[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> arguments { DEPTEST_EXECUTABLE, "--test", "--json", "--app-dir-only", "--dir", directory };
    if (generation)
        arguments = { DEPTEST_EXECUTABLE, "--generate", "--json", "--dir", directory };
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    HeldRun run;
    if (posix_spawn(&run.process, DEPTEST_EXECUTABLE, &actions, nullptr, argv.data(), environ) != 0)
        run.process = 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    run.output = output[0];
    QDeadlineTimer deadline(patience);
    int waiting = 0;
    while (::ioctl(run.output, FIONREAD, &waiting) == 0 && waiting < 65536 - 4096 && !deadline.hasExpired())
        QTest::qWait(5);
    return run;
}

// Reads the held run's output to its end and waits for it; its exit status.
int finishHeldRun(HeldRun& run)
{
    char buffer[65536];
    while (::read(run.output, buffer, sizeof buffer) > 0) { }
    ::close(run.output);
    int status = 0;
    if (::waitpid(run.process, &status, 0) != run.process || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// Waits until the process has written `text` on standard error.
bool waitForError(QProcess& process, const QByteArray& text, QByteArray& err)
{
    QDeadlineTimer deadline(patience);
    while (!err.contains(text) && !deadline.hasExpired()) {
        process.waitForReadyRead(100);
        err += process.readAllStandardError();
    }
    return err.contains(text);
}

} // namespace

class tst_Lists : public QObject {
    Q_OBJECT

private slots:
    void listsThatAreNotPlainFiles_data();
    void listsThatAreNotPlainFiles();
    void oneRunAtATime();
    void leftoversOfAKilledRunAreRemoved();
};

void tst_Lists::listsThatAreNotPlainFiles_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("said");
    for (const char* list : { "indll.txt", "dlls.txt", "indll.sha256" }) {
        const char* command = std::string_view(list) == "dlls.txt" ? "--generate" : "--test";
        QTest::addRow("%s: a FIFO nobody writes", list) << command << list << "fifo"
                                                        << "is a FIFO (named pipe)";
        QTest::addRow("%s: /dev/zero, endless", list) << command << list << "zero"
                                                      << "is a character device";
        QTest::addRow("%s: a directory", list) << command << list << "directory"
                                               << "is a directory";
        QTest::addRow("%s: a socket", list) << command << list << "socket"
                                            << "is a socket";
        QTest::addRow("%s: a /proc file whose size says 0", list) << command << list << "proc"
                                                                  << "gives more bytes than its size";
    }
    // Read twice, a pipe would give its lines to the study of the dates and
    // nothing to the check, which would then pass on no entry at all.
    QTest::newRow("indll.txt: /dev/stdin, a pipe of two absent files") << "--test"
                                                                       << "indll.txt"
                                                                       << "stdin"
                                                                       << "is a FIFO (named pipe)";
}

void tst_Lists::listsThatAreNotPlainFiles()
{
    QFETCH(QString, command);
    QFETCH(QString, list);
    QFETCH(QString, kind);
    QFETCH(QString, said);
    Machine machine;
    Machine::writeText(machine.dataFile("indll.txt"), absentEntry);
    Machine::writeText(machine.dataFile("dlls.txt"), "absent.so\r\n");
    const std::string path = machine.dataFile(list.toStdString());
    QFile::remove(QString::fromStdString(path));
    if (kind == "fifo")
        QCOMPARE(::mkfifo(path.c_str(), 0600), 0);
    else if (kind == "zero")
        QCOMPARE(::symlink("/dev/zero", path.c_str()), 0);
    else if (kind == "stdin")
        QCOMPARE(::symlink("/dev/stdin", path.c_str()), 0);
    else if (kind == "proc")
        QCOMPARE(::symlink("/proc/self/status", path.c_str()), 0);
    else if (kind == "directory")
        Machine::makeDirectory(path);
    else if (kind == "socket")
        QVERIFY(bindSocket(path));

    const QByteArray input = kind == "stdin" ? QByteArray::fromStdString(absentEntry + absentEntry) : QByteArray();
    const Finished finished
        = runProgram({ command, "--dir", QString::fromStdString(machine.applicationDirectory()) }, input);
    QVERIFY2(finished.ended, "the program was still running at the deadline");
    QCOMPARE(finished.status, 2);
    QVERIFY2(finished.err.contains(said.toUtf8()), finished.err.constData());
    QVERIFY2(finished.err.contains(QFile::encodeName(QString::fromStdString(path))), finished.err.constData());
    if (command == "--generate") // the old lists stay
        QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), absentEntry);
}

namespace {

// The exceptions file of one whole run over `entries` absent files: a
// header and one whole record per entry, in order.
void checkOneRecordPerAbsentEntry(const Machine& machine, int entries)
{
    const QList<QByteArray> records
        = QByteArray::fromStdString(Machine::readText(machine.dataFile("outdll.txt"))).split('\n');
    QCOMPARE(records.size(), entries + 2);
    QVERIFY(records.constLast().isEmpty());
    for (int i = 0; i < entries; ++i) {
        const QByteArray& record = records.at(i + 1);
        if (!record.startsWith("\"absent" + QByteArray::number(i) + ".so\",")
            || !record.endsWith("\"File not found\"\r"))
            QFAIL(record.constData());
    }
}

} // namespace

void tst_Lists::oneRunAtATime()
{
    constexpr int entries = 100'000;
    Machine machine;
    std::string list;
    for (int i = 0; i < entries; ++i)
        list += "\"absent" + std::to_string(i) + ".so\",\"1\",\"Monday, December 7, 2026\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), list);
    const QString directory = QString::fromStdString(machine.applicationDirectory());

    HeldRun first = startHeldRun(machine.applicationDirectory());
    QVERIFY(first.process > 0);
    const std::string exceptionsMeanwhile = Machine::readText(machine.dataFile("outdll.txt"));

    // A second run, of any command writing the lists, is refused and names
    // the first; nothing it would write is touched.
    const QByteArray inUse = "are in use by another run of deptest (process " + QByteArray::number(first.process) + ")";
    Machine::writeText(machine.dataFile("dlls.txt"), "absent0.so\r\n");
    for (const QStringList& command :
        { QStringList { "--test" }, QStringList { "--generate" }, QStringList { "--names-of", DEPTEST_EXECUTABLE } }) {
        const Finished second = runProgram(command + QStringList { "--dir", directory });
        QVERIFY2(second.ended, qPrintable(command.first()));
        QCOMPARE(second.status, 2);
        QVERIFY2(second.err.contains(inUse), second.err.constData());
        QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")), exceptionsMeanwhile);
        QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), list);
        QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), std::string("absent0.so\r\n"));
        QVERIFY(!QFile::exists(QString::fromStdString(machine.dataFile("dllerr.txt"))));
    }

    // One told to wait ends on a request to end, as promptly as a run.
    QProcess stopped;
    stopped.setProcessEnvironment(plainEnvironment());
    stopped.start(QStringLiteral(DEPTEST_EXECUTABLE), { "--test", "--wait", "--dir", directory });
    QByteArray stoppedErr;
    QVERIFY2(waitForError(stopped, "waiting for it to end", stoppedErr), stoppedErr.constData());
    QCOMPARE(::kill(static_cast<pid_t>(stopped.processId()), SIGTERM), 0);
    QVERIFY(stopped.waitForFinished(patience));
    QCOMPARE(stopped.exitCode(), 2);
    stoppedErr += stopped.readAllStandardError();
    QVERIFY2(stoppedErr.contains("stopped on request after 0 entries"), stoppedErr.constData());

    // One told to wait runs when the first has ended, on the whole list.
    QProcess waiting;
    waiting.setProcessEnvironment(plainEnvironment());
    waiting.start(QStringLiteral(DEPTEST_EXECUTABLE), { "--test", "--wait", "--app-dir-only", "--dir", directory });
    QByteArray waitingErr;
    QVERIFY2(waitForError(waiting, inUse + "; waiting for it to end", waitingErr), waitingErr.constData());
    QCOMPARE(finishHeldRun(first), 1);
    QVERIFY(waiting.waitForFinished(patience));
    QCOMPARE(waiting.exitCode(), 1);

    // The exceptions file is the last run's alone.
    checkOneRecordPerAbsentEntry(machine, entries);
}

void tst_Lists::leftoversOfAKilledRunAreRemoved()
{
    Machine machine;
    Machine::writeText(machine.dataFile("dlls.txt"), "absent.so\r\n");
    const QStringList leftovers { ".indll.txt.a1B2c3", ".dllerr.txt.ZZZZZZ", ".indll.sha256.000000" };
    // Not the program's: another name, another length, a directory, a link.
    const QStringList kept { ".indll.txt.a1B2c34", ".notes.txt.a1B2c3", "indll.txt.a1B2c3", ".outdll.txt.QWERTY" };
    for (const QString& name : leftovers + kept.mid(0, 3))
        Machine::writeText(machine.dataFile(name.toStdString()), "x");
    Machine::makeDirectory(machine.dataFile(kept.at(3).toStdString()));
    const std::string elsewhere = machine.root() + "/elsewhere.txt";
    Machine::writeText(elsewhere, "kept");
    QCOMPARE(::symlink(elsewhere.c_str(), machine.dataFile(".dlls.txt.LINKED").c_str()), 0);

    const Finished generated
        = runProgram({ "--generate", "--dir", QString::fromStdString(machine.applicationDirectory()) });
    QVERIFY(generated.ended);
    QCOMPARE(generated.status, 1);
    const QDir folder(QString::fromStdString(machine.applicationDirectory()));
    const QStringList left = folder.entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& name : leftovers)
        QVERIFY2(!left.contains(name), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(left.contains(name), qPrintable(name));
    QVERIFY(left.contains(".dlls.txt.LINKED")); // the program's name, but the program writes no links
    QCOMPARE(Machine::readText(elsewhere), std::string("kept"));

    // A generation killed while it writes leaves its new versions behind,
    // in a folder that whole runs have been through: the next run, even a
    // test, which writes no new version itself, clears them away too.
    std::string names;
    for (int i = 0; i < 100'000; ++i)
        names += "absent" + std::to_string(i) + ".so\r\n";
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    HeldRun killed = startHeldRun(machine.applicationDirectory(), true);
    QVERIFY(killed.process > 0);
    QCOMPARE(::kill(killed.process, SIGKILL), 0);
    QCOMPARE(finishHeldRun(killed), -1);
    const auto newVersions = [&folder] {
        static const QRegularExpression newVersion(QStringLiteral("^\\.(indll|dllerr)\\.txt\\.[0-9A-Za-z]{6}$"));
        return folder.entryList(QDir::Files | QDir::Hidden).filter(newVersion).size();
    };
    QCOMPARE(newVersions(), 2);
    QVERIFY(runProgram({ "--test", "--dir", QString::fromStdString(machine.applicationDirectory()) }).ended);
    QCOMPARE(newVersions(), 0);
}

QTEST_GUILESS_MAIN(tst_Lists)
#include "tst_lists.moc"
