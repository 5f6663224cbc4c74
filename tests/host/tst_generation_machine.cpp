#include "generate/ReferenceGeneration.h"
#include "services/Files.h"
#include "tests/fakes/CommandChecks.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScratchDisk.h"
#include "tests/support/TestRuntime.h"
#include "verify/TestRun.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <QFileInfo>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <optional>
#include <vector>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace deptest;
using deptest::test::FakeWindow;
using deptest::test::Machine;
using deptest::test::TestRuntime;

namespace {

// The generation on real files of a test machine, in what the model tests
// over files in memory cannot show: real long dates read back by a test
// run, names the host's paths must handle, full and read-only disks,
// file-size limits, links and permissions kept, and a generation killed at
// chosen points. The files are dated a quarter of an hour before local
// midnight: west of UTC, the day in UTC is the day after.
const QDateTime monday(QDate(2026, 12, 7), QTime(23, 45));

bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// The permission bits of a file.
int modeOf(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

} // namespace

class tst_GenerationMachine : public QObject {
    Q_OBJECT
public:
    static void initMain() { test::enterPrivateMountNamespace(); }

private slots:
    void generationThenTestRunMatchesEverything();
    void oddApplicationFolderNames_data();
    void oddApplicationFolderNames();
    void badNames_data();
    void badNames();
    void failedGenerationKeepsTheOldLists_data();
    void failedGenerationKeepsTheOldLists();
    void killedGenerationLeavesOldOrNewLists();
    void replacedListsKeepLinksAndPermissions();
    void linkToAListNotMadeYet_data();
    void linkToAListNotMadeYet();
    void listsWrittenInPlaceWhereTheFolderTakesNoNewFile_data();
    void listsWrittenInPlaceWhereTheFolderTakesNoNewFile();
    void readOnlyApplicationDirectory();
    void writeProtectedListsAreKept_data();
    void writeProtectedListsAreKept();
};

void tst_GenerationMachine::generationThenTestRunMatchesEverything()
{
    Machine machine;
    std::string names;
    for (int i = 0; i < 30; ++i) {
        const std::string name = "lib" + std::to_string(i) + ".so";
        const std::string directory = i % 3 == 0 ? machine.systemDirectory()
            : i % 3 == 1                         ? machine.windowsDirectory()
                                                 : machine.applicationDirectory();
        Machine::makeFile(directory + "/" + name, i * 7, monday.addDays(-i));
        names += name + (i % 2 ? "," : "\r\n");
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    TestRuntime runtime(machine);
    generateReference(runtime);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(window.matching.size(), std::size_t { 30 });
    QVERIFY(window.missing.empty());
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")),
        std::string("Format: Filename, Size of file on target, size of original file, date of target file, date of "
                    "original, error\r\n"));
    QVERIFY(runtime.messages.empty());
}

void tst_GenerationMachine::oddApplicationFolderNames_data()
{
    // The application directory is this machine's own path: its backslashes
    // are part of its name. A folder named by the same path with slashes
    // stands by as a decoy.
    QTest::addColumn<QString>("folder");
    QTest::newRow("backslash inside") << "bs\\dir";
    QTest::newRow("backslash at the end") << "dir\\";
    QTest::newRow("named like the system literal") << "c:\\windows\\system";
}

void tst_GenerationMachine::oddApplicationFolderNames()
{
    QFETCH(QString, folder);
    Machine machine;
    const std::string application = machine.root() + "/" + folder.toStdString();
    std::string decoy = application;
    std::replace(decoy.begin(), decoy.end(), '\\', '/');
    QVERIFY(QDir().mkpath(QString::fromStdString(application)));
    QVERIFY(QDir().mkpath(QString::fromStdString(decoy)));
    Machine::writeText(decoy + "/dlls.txt", "WRONG\r\n");
    Machine::writeText(application + "/dlls.txt", "mine.txt\r\n");
    Machine::makeFile(application + "/mine.txt", 6, monday);

    HostSettings settings = machine.settings();
    settings.applicationDirectory = application;
    TestRuntime runtime(settings);
    generateReference(runtime);
    FakeWindow window;
    runTest(window, runtime);
    QVERIFY(runtime.messages.empty());
    QCOMPARE(Machine::readText(application + "/indll.txt"),
        std::string("\"mine.txt\",\"6\",\"Monday, December 7, 2026\"\r\n"));
    QCOMPARE(window.matching, std::vector<std::string> { "mine.txt" });
    QCOMPARE(QDir(QString::fromStdString(decoy)).entryList(QDir::Files), QStringList { "dlls.txt" });
}

void tst_GenerationMachine::badNames_data()
{
    // What the host makes of names that are no plain file names. The
    // machine has sys.so (3 bytes, Monday) and q"uote.so in the system
    // directory and a directory "sub" in the application directory.
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");
    const QByteArray sys = "\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n";
    QTest::newRow("NUL byte") << QByteArray("sys.so\0x\r\n", 10) << QByteArray() << QByteArray("\"sys.so\0x\"\r\n", 12);
    QTest::newRow("directory") << QByteArray("sub\r\n") << QByteArray() << QByteArray("\"sub\"\r\n");
    QTest::newRow("empty name") << QByteArray(",sys.so\r\n") << sys << QByteArray("\"\"\r\n");
    QTest::newRow("absolute path") << QByteArray("/etc/passwd\r\n") << QByteArray()
                                   << QByteArray("\"/etc/passwd\"\r\n");
    QTest::newRow("backslashes and ..") << QByteArray("..\\system\\sys.so\r\n")
                                        << QByteArray("\"..\\system\\sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n")
                                        << QByteArray();
}

void tst_GenerationMachine::badNames() { test::checkBadNames<Machine>(monday); }

void tst_GenerationMachine::failedGenerationKeepsTheOldLists_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::addColumn<int>("missingNames");
    QTest::addColumn<int>("sizeLimit");
    QTest::newRow("file size limit while written") << false << 4000 << 30'000;
    // The not-found list still fits its buffer: it fails only when written
    // out at the end, after the reference list is complete.
    QTest::newRow("file size limit when written out") << false << 300 << 2'000;
    QTest::newRow("full disk") << true << 4000 << 0;
}

void tst_GenerationMachine::failedGenerationKeepsTheOldLists()
{
    QFETCH(bool, fullDisk);
    QFETCH(int, missingNames);
    QFETCH(int, sizeLimit);
    Machine machine;
    std::optional<test::ScratchDisk> disk;
    if (fullDisk) {
        // Room for the name list, the old lists and a little more.
        disk.emplace(machine.applicationDirectory(), 128 * 1024);
        if (!disk->isMounted())
            SKIP_UNLESS_REQUIRED("a full disk of its own needs root and a mount namespace");
    }
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    std::string names;
    for (int i = 0; i < missingNames; ++i)
        names += "missing-" + std::to_string(i) + ".so\r\n";
    names += "found.so\r\n";
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    const std::string oldReferences = "\"found.so\",\"1\",\"Sunday, December 6, 2026\"\r\n";
    const std::string oldNotFound = "\"gone.so\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), oldReferences);
    Machine::writeText(machine.dataFile("dllerr.txt"), oldNotFound);
    TestRuntime runtime(machine);

    if (fullDisk) {
        generateReference(runtime);
    } else {
        test::FileSizeLimit full(static_cast<rlim_t>(sizeLimit)); // the not-found list outgrows it
        generateReference(runtime);
    }

    QCOMPARE(runtime.messages, std::vector<std::string> { "Error  61: Disk full" });
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), oldReferences);
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), oldNotFound);
    QCOMPARE(Machine::readText(machine.dataFile("dlls.txt")), names);
    // No temporary file is left behind.
    QCOMPARE(machine.filesInApplicationDirectory(), (QStringList { "dllerr.txt", "dlls.txt", "indll.txt" }));
}

namespace {

// Where a generation run in a child process halts: just before or just
// after one operation on its new lists (a record written, a list written
// out whole or a list closed, which puts it in place), or inside the
// writing out, killed by a file-size limit while it puts the list's last
// records on the disk, before the list takes its name.
enum class Halt { Before, After, InsideFinish };

struct HaltPoint {
    std::size_t operation { 0 }; // 1-based, counted over both lists
    Halt halt { Halt::Before };
};

enum class Step { Write, Finish, Close };

// One operation on a new list, as the generation did it.
struct ListOperation {
    std::string path;
    Step step { Step::Write };
};

// Counts every write, finish and close on the lists a generation replaces and,
// in the child, halts the process at the chosen operation.
class ListSteps {
public:
    explicit ListSteps(std::optional<HaltPoint> point)
        : m_point(point)
    {
    }

    void before(const std::string& path, Step step, std::size_t bytesOfThisList)
    {
        m_trace.push_back(ListOperation { path, step });
        if (!m_point || m_point->operation != m_trace.size())
            return;
        if (m_point->halt == Halt::Before)
            ::raise(SIGSTOP);
        if (m_point->halt == Halt::InsideFinish) {
            // The last byte of the list goes beyond the limit: the write in
            // finish() ends the process, as a default-handled SIGXFSZ does.
            std::signal(SIGXFSZ, SIG_DFL);
            rlimit limit {};
            ::getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = bytesOfThisList - 1;
            ::setrlimit(RLIMIT_FSIZE, &limit);
        }
    }
    void after()
    {
        if (m_point && m_point->operation == m_trace.size() && m_point->halt == Halt::After)
            ::raise(SIGSTOP);
    }
    [[nodiscard]] const std::vector<ListOperation>& trace() const { return m_trace; }

private:
    std::optional<HaltPoint> m_point;
    std::vector<ListOperation> m_trace;
};

// A new list that reports each operation to the steps before and after
// handing it on.
class SteppedList final : public OutputFile {
public:
    SteppedList(std::unique_ptr<OutputFile> list, std::string path, ListSteps& steps)
        : m_list(std::move(list))
        , m_path(std::move(path))
        , m_steps(steps)
    {
    }
    Outcome write(std::string_view bytes) override
    {
        m_bytes += bytes.size();
        m_steps.before(m_path, Step::Write, m_bytes);
        Outcome outcome = m_list->write(bytes);
        m_steps.after();
        return outcome;
    }
    Outcome finish() override
    {
        m_steps.before(m_path, Step::Finish, m_bytes);
        Outcome outcome = m_list->finish();
        m_steps.after();
        return outcome;
    }
    Outcome close() override
    {
        m_steps.before(m_path, Step::Close, m_bytes);
        Outcome outcome = m_list->close();
        m_steps.after();
        return outcome;
    }

private:
    std::unique_ptr<OutputFile> m_list;
    std::string m_path;
    ListSteps& m_steps;
    std::size_t m_bytes { 0 };
};

class SteppedRuntime final : public TestRuntime {
public:
    SteppedRuntime(const Machine& machine, ListSteps& steps)
        : TestRuntime(machine)
        , m_steps(steps)
    {
    }
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override
    {
        auto list = TestRuntime::openForReplacing(path);
        if (!list)
            return list;
        return std::unique_ptr<OutputFile>(
            std::make_unique<SteppedList>(std::move(list).value(), std::string(path), m_steps));
    }

private:
    ListSteps& m_steps;
};

// Enough names for the reference list to reach the disk in more than one
// piece before it is closed.
void giveManyNames(const Machine& machine)
{
    std::string names;
    for (int i = 0; i < 3000; ++i) {
        const std::string name = "lib" + std::to_string(i) + ".so";
        Machine::makeFile(machine.systemDirectory() + "/" + name, i % 7, monday.addDays(-(i % 300)));
        names += name + "\r\n" + (i % 10 == 0 ? "missing" + std::to_string(i) + ".so\r\n" : "");
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names);
}

// The two lists a generation replaces, as they are on the disk.
struct GeneratedLists {
    std::string references;
    std::string notFound;

    static GeneratedLists readFrom(const Machine& machine)
    {
        return { Machine::readText(machine.dataFile("indll.txt")), Machine::readText(machine.dataFile("dllerr.txt")) };
    }
    void writeTo(const Machine& machine) const
    {
        Machine::writeText(machine.dataFile("indll.txt"), references);
        Machine::writeText(machine.dataFile("dllerr.txt"), notFound);
    }
    bool operator==(const GeneratedLists&) const = default;
};

// The operations of one kind in a trace, numbered from 1.
std::vector<std::size_t> operationsOf(const std::vector<ListOperation>& trace, Step step)
{
    std::vector<std::size_t> numbers;
    for (std::size_t i = 0; i < trace.size(); ++i) {
        if (trace[i].step == step)
            numbers.push_back(i + 1);
    }
    return numbers;
}

// Halts before and after every operation near the start, the middle, the
// end, each finish and close, and inside each finish; and before every
// operation at a fortieth of the way apart.
std::vector<HaltPoint> haltPoints(
    std::size_t operations, const std::vector<std::size_t>& finishes, const std::vector<std::size_t>& closes)
{
    std::vector<HaltPoint> points;
    const auto around = [&](std::size_t operation) {
        for (std::size_t near = operation > 2 ? operation - 2 : 1; near <= std::min(operation + 2, operations);
             ++near) {
            points.push_back({ near, Halt::Before });
            points.push_back({ near, Halt::After });
        }
    };
    around(1);
    around(operations / 2);
    for (const std::size_t finish : finishes) {
        around(finish);
        points.push_back({ finish, Halt::InsideFinish });
    }
    for (const std::size_t close : closes)
        around(close);
    const std::size_t stride = std::max(operations / 40, std::size_t { 1 });
    for (std::size_t operation = 1; operation < operations; operation += stride)
        points.push_back({ operation, Halt::Before });
    return points;
}

QString describe(const HaltPoint& point, std::size_t operations)
{
    static constexpr const char* halts[] = { "before", "after", "inside" };
    return QStringLiteral("operation %1 of %2, %3")
        .arg(point.operation)
        .arg(operations)
        .arg(halts[static_cast<int>(point.halt)]);
}

// A list is the new one exactly when its close has returned before the halt.
bool replacedBefore(const HaltPoint& point, std::string_view list, const std::vector<ListOperation>& trace,
    const std::vector<std::size_t>& closes)
{
    for (const std::size_t close : closes) {
        if (trace[close - 1].path.ends_with(list))
            return close < point.operation || (close == point.operation && point.halt == Halt::After);
    }
    return false;
}

// Runs a generation in a child process and checks that it halted at the point.
void generateInChildHaltingAt(const Machine& machine, const HaltPoint& point, const QString& where)
{
    const pid_t child = ::fork();
    if (child == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // never left stopped when the test dies
        ListSteps steps(point);
        SteppedRuntime runtime(machine, steps);
        generateReference(runtime);
        ::_exit(0); // it should have halted: the parent reports it
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(::waitpid(child, &status, WUNTRACED), child);
    if (WIFSTOPPED(status)) {
        ::kill(child, SIGKILL);
        QCOMPARE(::waitpid(child, &status, 0), child);
    }
    const int expectedSignal = point.halt == Halt::InsideFinish ? SIGXFSZ : SIGKILL;
    QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == expectedSignal,
        qPrintable(where + QStringLiteral(": the child was not halted there")));
}

} // namespace

void tst_GenerationMachine::killedGenerationLeavesOldOrNewLists()
{
    Machine machine;
    giveManyNames(machine);
    const GeneratedLists oldLists { "\"old.so\",\"1\",\"Sunday, December 6, 2026\"\r\n", "\"gone.so\"\r\n" };

    // A whole generation, here, tells the new lists and every operation on them.
    oldLists.writeTo(machine);
    ListSteps recorded(std::nullopt);
    SteppedRuntime whole(machine, recorded);
    generateReference(whole);
    QVERIFY(whole.messages.empty());
    const GeneratedLists newLists = GeneratedLists::readFrom(machine);
    QVERIFY(newLists.references.size() > 100'000 && newLists.notFound.size() > 1'000);
    const std::vector<ListOperation>& trace = recorded.trace();
    const std::vector<std::size_t> finishes = operationsOf(trace, Step::Finish);
    const std::vector<std::size_t> closes = operationsOf(trace, Step::Close);
    QCOMPARE(finishes.size(), std::size_t { 2 });
    QCOMPARE(closes.size(), std::size_t { 2 });
    // Both lists are written out before either is put in place.
    QVERIFY(finishes.back() < closes.front());

    int oldBoth = 0;
    int newBoth = 0;
    for (const HaltPoint& point : haltPoints(trace.size(), finishes, closes)) {
        const QString where = describe(point, trace.size());
        oldLists.writeTo(machine);
        generateInChildHaltingAt(machine, point, where);
        if (QTest::currentTestFailed())
            return;
        const GeneratedLists found = GeneratedLists::readFrom(machine);
        // Never a mixed or cut list: each is the old one or the whole new one.
        QVERIFY2(found.references == oldLists.references || found.references == newLists.references, qPrintable(where));
        QVERIFY2(found.notFound == oldLists.notFound || found.notFound == newLists.notFound, qPrintable(where));
        QVERIFY2((found.references == newLists.references) == replacedBefore(point, "indll.txt", trace, closes),
            qPrintable(where));
        QVERIFY2((found.notFound == newLists.notFound) == replacedBefore(point, "dllerr.txt", trace, closes),
            qPrintable(where));
        oldBoth += found == oldLists ? 1 : 0;
        newBoth += found == newLists ? 1 : 0;
    }
    QVERIFY2(oldBoth > 0 && newBoth > 0, qPrintable(QStringLiteral("%1 old, %2 new").arg(oldBoth).arg(newBoth)));
}

void tst_GenerationMachine::replacedListsKeepLinksAndPermissions()
{
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    Machine::writeText(machine.dataFile("dlls.txt"), "found.so\r\nnone.so\r\n");
    // The reference list is a link to a file elsewhere, readable by its group only.
    const QString real = QString::fromStdString(machine.root() + "/kept/indll-master.txt");
    QVERIFY(QDir().mkpath(QFileInfo(real).path()));
    Machine::writeText(real.toStdString(), "old\r\n");
    QVERIFY(QFile::setPermissions(real, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));
    QVERIFY(QFile::link(real, QString::fromStdString(machine.dataFile("indll.txt"))));
    Machine::writeText(machine.dataFile("dllerr.txt"), "old\r\n");
    QVERIFY(QFile::setPermissions(QString::fromStdString(machine.dataFile("dllerr.txt")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));

    TestRuntime runtime(machine);
    generateReference(runtime);
    QVERIFY(runtime.messages.empty());

    const QFileInfo link(QString::fromStdString(machine.dataFile("indll.txt")));
    QVERIFY(link.isSymLink());
    QCOMPARE(link.symLinkTarget(), real);
    QCOMPARE(Machine::readText(real.toStdString()), std::string("\"found.so\",\"1\",\"Monday, December 7, 2026\"\r\n"));
    QCOMPARE(modeOf(real.toStdString()), 0640);
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"none.so\"\r\n"));
    QCOMPARE(modeOf(machine.dataFile("dllerr.txt")), 0604);
}

void tst_GenerationMachine::linkToAListNotMadeYet_data()
{
    // The links, each "name>target" beside the application directory's
    // lists (the first is indll.txt), and where the list should be made.
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QString>("madeAt"); // empty: nowhere, with the message
    QTest::addColumn<QString>("message");
    QTest::newRow("relative link") << QStringList { "indll.txt>../kept/none.txt" } << "kept/none.txt"
                                   << "";
    QTest::newRow("absolute link") << QStringList { "indll.txt>@/kept/none.txt" } << "kept/none.txt"
                                   << "";
    QTest::newRow("link to a link") << QStringList { "indll.txt>second", "second>../kept/none.txt" } << "kept/none.txt"
                                    << "";
    QTest::newRow("into a folder not there") << QStringList { "indll.txt>../gone/none.txt" } << ""
                                             << "Error  76: Path not found";
    QTest::newRow("links in a circle") << QStringList { "indll.txt>second", "second>indll.txt" } << ""
                                       << "Error  75: Path/File access error";
}

void tst_GenerationMachine::linkToAListNotMadeYet()
{
    QFETCH(QStringList, links);
    QFETCH(QString, madeAt);
    QFETCH(QString, message);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    Machine::writeText(machine.dataFile("dlls.txt"), "found.so\r\n");
    QVERIFY(QDir().mkpath(QString::fromStdString(machine.root() + "/kept")));
    for (const QString& link : links) {
        QString target = link.section('>', 1);
        target.replace('@', QString::fromStdString(machine.root()));
        std::filesystem::create_symlink(target.toStdString(), machine.dataFile(link.section('>', 0, 0).toStdString()));
    }

    TestRuntime runtime(machine);
    generateReference(runtime);
    QCOMPARE(runtime.messages,
        message.isEmpty() ? std::vector<std::string> {} : std::vector<std::string> { message.toStdString() });
    for (const QString& link : links)
        QVERIFY(QFileInfo(QString::fromStdString(machine.dataFile(link.section('>', 0, 0).toStdString()))).isSymLink());
    if (!madeAt.isEmpty())
        QCOMPARE(Machine::readText(machine.root() + "/" + madeAt.toStdString()),
            std::string("\"found.so\",\"1\",\"Monday, December 7, 2026\"\r\n"));
    QCOMPARE(exists(machine.dataFile("dllerr.txt")), !madeAt.isEmpty());
}

void tst_GenerationMachine::listsWrittenInPlaceWhereTheFolderTakesNoNewFile_data()
{
    // The folder is root's and the lists anyone's (mode 666); the
    // generation runs as another user.
    QTest::addColumn<bool>("notFoundListThere");
    QTest::addColumn<int>("status"); // 0: both lists written in place; 70: neither touched
    QTest::newRow("both lists there: written in place") << true << 0;
    QTest::newRow("no not-found list to write: neither is touched") << false << 70;
}

void tst_GenerationMachine::listsWrittenInPlaceWhereTheFolderTakesNoNewFile()
{
    QFETCH(bool, notFoundListThere);
    QFETCH(int, status);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    Machine::writeText(machine.dataFile("dlls.txt"), "found.so\r\nnone.so\r\n");
    const std::string oldReferences = std::string(200, 'x') + "\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), oldReferences);
    if (notFoundListThere)
        Machine::writeText(machine.dataFile("dllerr.txt"), std::string(100, 'y') + "\r\n");
    for (const char* list : { "indll.txt", "dllerr.txt" })
        (void)::chmod(machine.dataFile(list).c_str(), 0666);
    QVERIFY(::chmod(machine.root().c_str(), 0755) == 0);
    QVERIFY(::chmod(machine.applicationDirectory().c_str(), 0555) == 0);

    // As root, the run is another user's, in a child; otherwise the folder's
    // mode alone refuses.
    const auto generate = [&machine] {
        TestRuntime runtime(machine);
        generateReference(runtime);
        if (runtime.messages.empty())
            return 0;
        return runtime.messages == std::vector<std::string> { "Error  70: Permission denied" } ? 70 : 1;
    };
    int result = -1;
    if (::geteuid() == 0) {
        const pid_t child = ::fork();
        if (child == 0) {
            const bool dropped = ::setgid(65534) == 0 && ::setuid(65534) == 0;
            ::_exit(dropped ? generate() : 2);
        }
        int childStatus = 0;
        QCOMPARE(::waitpid(child, &childStatus, 0), child);
        result = WIFEXITED(childStatus) ? WEXITSTATUS(childStatus) : -1;
    } else {
        result = generate();
    }
    QVERIFY(::chmod(machine.applicationDirectory().c_str(), 0755) == 0);
    QCOMPARE(result, status);
    if (status == 0) {
        QCOMPARE(Machine::readText(machine.dataFile("indll.txt")),
            std::string("\"found.so\",\"1\",\"Monday, December 7, 2026\"\r\n"));
        QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"none.so\"\r\n"));
    } else {
        QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), oldReferences);
    }
}

void tst_GenerationMachine::readOnlyApplicationDirectory()
{
    Machine machine;
    test::ScratchDisk disk(machine.applicationDirectory(), 64 * 1024);
    if (!disk.isMounted())
        SKIP_UNLESS_REQUIRED("a read-only disk needs root and a mount namespace");
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    Machine::writeText(machine.dataFile("dlls.txt"), "found.so\r\n");
    const std::string previous = "\"found.so\",\"1\",\"Sunday, December 6, 2026\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), previous);
    QVERIFY(disk.makeReadOnly());
    TestRuntime runtime(machine);
    generateReference(runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { "Error  70: Permission denied" });
    // The reference list from before is still there, untouched.
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), previous);
    QVERIFY(!exists(machine.dataFile("dllerr.txt")));
}

void tst_GenerationMachine::writeProtectedListsAreKept_data()
{
    QTest::addColumn<QString>("protectedList");
    QTest::addColumn<int>("mode");
    QTest::newRow("reference list 444") << "indll.txt" << 0444;
    QTest::newRow("reference list 400") << "indll.txt" << 0400;
    QTest::newRow("not-found list 444") << "dllerr.txt" << 0444;
}

void tst_GenerationMachine::writeProtectedListsAreKept()
{
    // The mode bits are the user's wish to keep the list; they hold when
    // the program runs as root too, as these tests do in CI.
    QFETCH(QString, protectedList);
    QFETCH(int, mode);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, monday);
    Machine::writeText(machine.dataFile("dlls.txt"), "found.so\r\nnone.so\r\n");
    const std::string oldReferences = "\"found.so\",\"1\",\"Sunday, December 6, 2026\"\r\n";
    const std::string oldNotFound = "\"gone.so\"\r\n";
    Machine::writeText(machine.dataFile("indll.txt"), oldReferences);
    Machine::writeText(machine.dataFile("dllerr.txt"), oldNotFound);
    const std::string guarded = machine.dataFile(protectedList.toStdString());
    QVERIFY(::chmod(guarded.c_str(), static_cast<mode_t>(mode)) == 0);

    TestRuntime runtime(machine);
    generateReference(runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { "Error  70: Permission denied" });
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), oldReferences);
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), oldNotFound);
    QCOMPARE(modeOf(guarded), mode);
    QCOMPARE(machine.filesInApplicationDirectory(), (QStringList { "dllerr.txt", "dlls.txt", "indll.txt" }));

    // Once the user allows it again, the lists are replaced.
    QVERIFY(::chmod(guarded.c_str(), 0644) == 0);
    generateReference(runtime);
    QCOMPARE(runtime.messages.size(), std::size_t { 1 });
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"none.so\"\r\n"));
}

QTEST_GUILESS_MAIN(tst_GenerationMachine)
#include "tst_generation_machine.moc"
