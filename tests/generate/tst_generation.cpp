#include "generate/ReferenceGeneration.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScratchDisk.h"
#include "tests/support/TestRuntime.h"
#include "verify/TestRun.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <QFileInfo>

#include <chrono>
#include <csignal>
#include <optional>
#include <thread>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace deptest;
using deptest::test::FakeWindow;
using deptest::test::Machine;
using deptest::test::TestRuntime;

namespace {

const QDateTime monday(QDate(2026, 12, 7), QTime(9, 15));

bool exists(const std::string& path) { return QFile::exists(QString::fromStdString(path)); }

// The permission bits of a file.
int modeOf(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 ? static_cast<int>(status.st_mode & 07777) : -1;
}

} // namespace

class tst_Generation : public QObject {
    Q_OBJECT
public:
    static void initMain() { test::enterPrivateMountNamespace(); }

private slots:
    void referenceAndNotFoundLists_data();
    void referenceAndNotFoundLists();
    void missingNameListWritesNothing();
    void generationThenTestRunMatchesEverything();
    void failedDateRenderingIsThatNamesOwn();
    void badNames_data();
    void badNames();
    void failedGenerationKeepsTheOldLists_data();
    void failedGenerationKeepsTheOldLists();
    void killedGenerationLeavesOldOrNewLists();
    void replacedListsKeepLinksAndPermissions();
    void readOnlyApplicationDirectory();
    void writeProtectedListsAreKept_data();
    void writeProtectedListsAreKept();
};

void tst_Generation::referenceAndNotFoundLists_data()
{
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");

    const QByteArray both
        = "\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n\"win.so\",\"22\",\"Tuesday, December 8, 2026\"\r\n";
    QTest::newRow("system directory beats windows directory")
        << QByteArray("sys.so\r\n") << QByteArray("\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n") << QByteArray();
    QTest::newRow("one per line") << QByteArray("sys.so\r\nwin.so\r\n") << both << QByteArray();
    QTest::newRow("commas on one line") << QByteArray("sys.so,win.so\r\n") << both << QByteArray();
    QTest::newRow("quoted, LF only") << QByteArray("\"sys.so\",\n\"win.so\"\n") << both << QByteArray();
    QTest::newRow("names found nowhere") << QByteArray("none.so\r\nsys.so\r\nalso none.so\r\n")
                                         << QByteArray("\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n")
                                         << QByteArray("\"none.so\"\r\n\"also none.so\"\r\n");
    QTest::newRow("empty name list") << QByteArray() << QByteArray() << QByteArray();
    // Blank lines after the last name end the list: no empty name is
    // looked up or written to the not-found list.
    QTest::newRow("blank last lines are no names")
        << QByteArray("sys.so\r\n\r\n  \r\n\n") << QByteArray("\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n")
        << QByteArray();
    QTest::newRow("byte-order mark before the first name")
        << QByteArray("\xEF\xBB\xBFsys.so\r\n") << QByteArray("\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n")
        << QByteArray();
}

void tst_Generation::referenceAndNotFoundLists()
{
    QFETCH(QByteArray, names);
    QFETCH(QByteArray, references);
    QFETCH(QByteArray, notFound);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/sys.so", 3, monday);
    Machine::makeFile(machine.windowsDirectory() + "/sys.so", 4, monday.addDays(-1));
    Machine::makeFile(machine.windowsDirectory() + "/win.so", 22, monday.addDays(1));
    Machine::writeText(machine.dataFile("dlls.txt"), names.toStdString());
    Machine::writeText(machine.dataFile("indll.txt"), "old contents\r\n");
    TestRuntime runtime(machine);
    generateReference(runtime);
    QCOMPARE(QByteArray::fromStdString(Machine::readText(machine.dataFile("indll.txt"))), references);
    QCOMPARE(QByteArray::fromStdString(Machine::readText(machine.dataFile("dllerr.txt"))), notFound);
    QVERIFY(runtime.messages.empty());
}

void tst_Generation::missingNameListWritesNothing()
{
    Machine machine;
    TestRuntime runtime(machine);
    generateReference(runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { "Error:  Could not find DLLs.txt." });
    QVERIFY(!exists(machine.dataFile("indll.txt")));
    QVERIFY(!exists(machine.dataFile("dllerr.txt")));
}

void tst_Generation::generationThenTestRunMatchesEverything()
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

namespace {

// A machine whose calendar cannot render one file's date.
class BadDateRuntime final : public TestRuntime {
public:
    using TestRuntime::TestRuntime;
    Result<std::string> longDate(const FileTime& time) override
    {
        if (time.day == 1)
            return Error::of(error::invalidArgument);
        return TestRuntime::longDate(time);
    }
    using TestRuntime::longDate;
};

} // namespace

void tst_Generation::failedDateRenderingIsThatNamesOwn()
{
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/good.so", 1, monday);
    Machine::makeFile(machine.systemDirectory() + "/bad.so", 2, QDateTime(QDate(2026, 12, 1), QTime(8, 0)));
    Machine::writeText(machine.dataFile("dlls.txt"), "good.so\r\nbad.so\r\ngood.so\r\n");
    BadDateRuntime runtime(machine);
    generateReference(runtime);
    const std::string good = "\"good.so\",\"1\",\"Monday, December 7, 2026\"\r\n";
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), good + good);
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"bad.so\"\r\n"));
}

void tst_Generation::badNames_data()
{
    // The machine has sys.so (3 bytes, Monday) and q"uote.so in the system
    // directory and a directory "sub" in the application directory.
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");
    const QByteArray sys = "\"sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n";
    QTest::newRow("NUL byte") << QByteArray("sys.so\0x\r\n", 10) << QByteArray() << QByteArray("\"sys.so\0x\"\r\n", 12);
    QTest::newRow("binary bytes") << QByteArray("\x01\xff\xfe\r\nsys.so\r\n") << sys
                                  << QByteArray("\"\x01\xff\xfe\"\r\n");
    QTest::newRow("directory") << QByteArray("sub\r\n") << QByteArray() << QByteArray("\"sub\"\r\n");
    QTest::newRow("empty name") << QByteArray(",sys.so\r\n") << sys << QByteArray("\"\"\r\n");
    QTest::newRow("absolute path") << QByteArray("/etc/passwd\r\n") << QByteArray()
                                   << QByteArray("\"/etc/passwd\"\r\n");
    QTest::newRow("backslashes and ..") << QByteArray("..\\system\\sys.so\r\n")
                                        << QByteArray("\"..\\system\\sys.so\",\"3\",\"Monday, December 7, 2026\"\r\n")
                                        << QByteArray();
    // The file is there, but the reference list could not hold its name.
    QTest::newRow("double quote") << QByteArray("q\"uote.so\r\nsys.so\r\n") << sys << QByteArray("\"q\"uote.so\"\r\n");
    // A quoted name runs on to its closing quote, line ends and all.
    QTest::newRow("quote that never closes")
        << QByteArray("\"sys.so\r\n") << QByteArray() << QByteArray("\"sys.so\r\n\"\r\n");
    const QByteArray longName(50 * 1024 * 1024, 'n');
    QTest::newRow("a single line of 50 MB") << longName + "\r\nsys.so\r\n" << sys << "\"" + longName + "\"\r\n";
}

void tst_Generation::badNames()
{
    QFETCH(QByteArray, names);
    QFETCH(QByteArray, references);
    QFETCH(QByteArray, notFound);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/sys.so", 3, monday);
    Machine::makeFile(machine.systemDirectory() + "/q\"uote.so", 3, monday);
    QVERIFY(QDir().mkpath(QString::fromStdString(machine.applicationDirectory() + "/sub")));
    Machine::writeText(machine.dataFile("dlls.txt"), names.toStdString());
    TestRuntime runtime(machine);
    generateReference(runtime);
    QVERIFY(runtime.messages.empty());
    QCOMPARE(QByteArray::fromStdString(Machine::readText(machine.dataFile("indll.txt"))), references);
    QCOMPARE(QByteArray::fromStdString(Machine::readText(machine.dataFile("dllerr.txt"))), notFound);
    // Whatever the reference list holds, a test run reads it back as written.
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(window.missing.size(), std::size_t { 0 });
}

void tst_Generation::failedGenerationKeepsTheOldLists_data()
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

void tst_Generation::failedGenerationKeepsTheOldLists()
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
            QSKIP("a full disk of its own needs root and a mount namespace");
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
    QCOMPARE(QDir(QString::fromStdString(machine.applicationDirectory())).entryList(QDir::Files | QDir::Hidden),
        (QStringList { "dllerr.txt", "dlls.txt", "indll.txt" }));
}

void tst_Generation::killedGenerationLeavesOldOrNewLists()
{
    // A generation in a child process, killed at points spread over its
    // run: each list is then the old one or the whole new one.
    Machine machine;
    std::string names;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = "lib" + std::to_string(i) + ".so";
        Machine::makeFile(machine.systemDirectory() + "/" + name, i % 7, monday.addDays(-(i % 300)));
        names += name + "\r\n" + (i % 10 == 0 ? "missing" + std::to_string(i) + ".so\r\n" : "");
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    const std::string oldReferences = "\"old.so\",\"1\",\"Sunday, December 6, 2026\"\r\n";
    const std::string oldNotFound = "\"gone.so\"\r\n";
    const auto restoreOldLists = [&] {
        Machine::writeText(machine.dataFile("indll.txt"), oldReferences);
        Machine::writeText(machine.dataFile("dllerr.txt"), oldNotFound);
    };
    // Runs the generation in a child and kills it after `delay`, or lets it
    // finish; returns how long it ran.
    const auto generateInChild = [&](std::optional<std::chrono::microseconds> delay) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            TestRuntime runtime(machine);
            generateReference(runtime);
            ::_exit(runtime.messages.empty() ? 0 : 1);
        }
        if (delay) {
            std::this_thread::sleep_for(*delay);
            ::kill(child, SIGKILL);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    };

    restoreOldLists();
    const auto whole = generateInChild(std::nullopt);
    const std::string newReferences = Machine::readText(machine.dataFile("indll.txt"));
    const std::string newNotFound = Machine::readText(machine.dataFile("dllerr.txt"));
    QVERIFY(newReferences.size() > 100'000 && newNotFound.size() > 10'000);
    int old = 0;
    int replaced = 0;
    for (int tenth = 0; tenth <= 12; ++tenth) {
        restoreOldLists();
        generateInChild(whole * tenth / 10);
        const std::string references = Machine::readText(machine.dataFile("indll.txt"));
        const std::string notFound = Machine::readText(machine.dataFile("dllerr.txt"));
        QVERIFY2(references == oldReferences || references == newReferences, qPrintable(QString::number(tenth)));
        QVERIFY2(notFound == oldNotFound || notFound == newNotFound, qPrintable(QString::number(tenth)));
        (references == oldReferences ? old : replaced) += 1;
    }
    // The kills landed before and after the replacement, not only on one side.
    QVERIFY2(old > 0 && replaced > 0, qPrintable(QStringLiteral("%1 old, %2 replaced").arg(old).arg(replaced)));
}

void tst_Generation::replacedListsKeepLinksAndPermissions()
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

void tst_Generation::readOnlyApplicationDirectory()
{
    Machine machine;
    test::ScratchDisk disk(machine.applicationDirectory(), 64 * 1024);
    if (!disk.isMounted())
        QSKIP("a read-only disk needs root and a mount namespace");
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

void tst_Generation::writeProtectedListsAreKept_data()
{
    QTest::addColumn<QString>("protectedList");
    QTest::addColumn<int>("mode");
    QTest::newRow("reference list 444") << "indll.txt" << 0444;
    QTest::newRow("reference list 400") << "indll.txt" << 0400;
    QTest::newRow("not-found list 444") << "dllerr.txt" << 0444;
}

void tst_Generation::writeProtectedListsAreKept()
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
    QCOMPARE(QDir(QString::fromStdString(machine.applicationDirectory())).entryList(QDir::Files | QDir::Hidden),
        (QStringList { "dllerr.txt", "dlls.txt", "indll.txt" }));

    // Once the user allows it again, the lists are replaced.
    QVERIFY(::chmod(guarded.c_str(), 0644) == 0);
    generateReference(runtime);
    QCOMPARE(runtime.messages.size(), std::size_t { 1 });
    QCOMPARE(Machine::readText(machine.dataFile("dllerr.txt")), std::string("\"none.so\"\r\n"));
}

QTEST_GUILESS_MAIN(tst_Generation)
#include "tst_generation.moc"
