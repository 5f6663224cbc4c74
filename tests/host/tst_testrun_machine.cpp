#include "generate/ReferenceGeneration.h"
#include "tests/fakes/CommandChecks.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/ScratchDisk.h"
#include "tests/support/TestRuntime.h"
#include "verify/TestRun.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <optional>

using namespace deptest;
using deptest::test::entry;
using deptest::test::FakeWindow;
using deptest::test::lines;
using deptest::test::Machine;
using deptest::test::TestRuntime;

namespace {

// The test run on real files of a test machine, in what the model tests
// over files in memory cannot show: real long dates, names the host's paths
// must handle, read-only and full disks, file-size limits, 64-bit sizes and
// a list rewritten on the disk during the run. The files are dated half an
// hour after local midnight: east of UTC, the day in UTC is the day before.
const QDateTime reference(QDate(2026, 12, 7), QTime(0, 30));
const std::string header = test::exceptionsHeaderLine();

} // namespace

class tst_TestRunMachine : public QObject {
    Q_OBJECT
public:
    static void initMain() { test::enterPrivateMountNamespace(); }

private slots:
    void mixedRunWritesExactExceptions();
    void unopenableFilesEndTheProgram_data();
    void unopenableFilesEndTheProgram();
    void sizesBeyond32Bits();
    void failedWritesAreReportedOnceAtTheEnd_data();
    void failedWritesAreReportedOnceAtTheEnd();
    void badReferenceEntries_data();
    void badReferenceEntries();
    void referenceListRewrittenDuringTheRun_data();
    void referenceListRewrittenDuringTheRun();
    void numericDatesOnAMachineOfAnyLanguage_data();
    void numericDatesOnAMachineOfAnyLanguage();
    void contentsOnThisMachine_data();
    void contentsOnThisMachine();
};

void tst_TestRunMachine::mixedRunWritesExactExceptions()
{
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/same.so", 10, reference);
    Machine::makeFile(machine.systemDirectory() + "/bigger.so", 12, reference);
    Machine::makeFile(machine.applicationDirectory() + "/later.so", 10, reference.addDays(3));
    Machine::writeText(machine.dataFile("indll.txt"),
        "\"same.so\",\"10\",\"Monday, December 7, 2026\"\r\n"
        "\"gone.so\",\"7\",\"2026-12-07\"\r\n"
        "\"bigger.so\",\"10\",\"Monday, December 7, 2026\"\n"
        "\"later.so\",\"10\",\"Monday, December 7, 2026\"\r\n");
    TestRuntime runtime(machine);
    FakeWindow window;
    runTest(window, runtime);

    QCOMPARE(lines(window.matching), QStringList { "same.so" });
    QCOMPARE(lines(window.missing),
        (QStringList { "gone.so - Error: File not found", "bigger.so - Could not match date/size",
            "later.so - Could not match date/size" }));
    QCOMPARE(Machine::readText(machine.dataFile("outdll.txt")),
        header
            + "\"gone.so\",7,\"Monday, December 7, 2026\",\"File not found\"\r\n"
              "\"bigger.so\",12,10,\"Monday, December 7, 2026\",\"Monday, December 7, 2026\",\"Bad date or size\"\r\n"
              "\"later.so\",10,10,\"Thursday, December 10, 2026\",\"Monday, December 7, 2026\",\"Bad date or "
              "size\"\r\n");
    QCOMPARE(window.gating, (std::vector<std::string> { "Test-", "Print-", "Exit-", "Test+", "Print+", "Exit+" }));
}

void tst_TestRunMachine::unopenableFilesEndTheProgram_data()
{
    QTest::addColumn<bool>("referenceListExists");
    QTest::addColumn<bool>("exceptionsIsDirectory");
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("readOnlyDisk");
    QTest::newRow("no reference list") << false << false << "Error:  Could not find InDLL.txt." << false;
    QTest::newRow("exceptions file is a directory") << true << true << "Error  75: Path/File access error" << false;
    QTest::newRow("read-only application directory") << true << false << "Error  70: Permission denied" << true;
}

void tst_TestRunMachine::unopenableFilesEndTheProgram()
{
    QFETCH(bool, readOnlyDisk);
    Machine machine;
    std::optional<test::ScratchDisk> disk;
    if (readOnlyDisk) {
        disk.emplace(machine.applicationDirectory(), 1 << 20);
        if (!disk->isMounted())
            SKIP_UNLESS_REQUIRED("a read-only disk needs root and a mount namespace");
    }
    test::checkUnopenableFilesEndTheProgram(machine, [&] { QVERIFY(!disk || disk->makeReadOnly()); });
}

void tst_TestRunMachine::sizesBeyond32Bits()
{
    Machine machine;
    // 4 GiB + 10 bytes: a 32-bit size would read 10 and call it equal.
    QFile file(QString::fromStdString(machine.systemDirectory() + "/huge.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize((qint64(1) << 32) + 10));
    file.close();
    QVERIFY(file.open(QIODevice::ReadWrite));
    file.setFileTime(reference, QFileDevice::FileModificationTime);
    file.close();
    Machine::writeText(machine.dataFile("indll.txt"),
        "\"huge.bin\",\"10\",\"Monday, December 7, 2026\"\r\n\"huge.bin\",\"4294967306\",\"Monday, December 7, "
        "2026\"\r\n");
    TestRuntime runtime(machine);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(lines(window.missing), QStringList { "huge.bin - Could not match date/size" });
    QCOMPARE(lines(window.matching), QStringList { "huge.bin" });
    QVERIFY(Machine::readText(machine.dataFile("outdll.txt"))
                .ends_with("\"huge.bin\",4294967306,10,\"Monday, December 7, 2026\",\"Monday, December 7, 2026\",\"Bad "
                           "date or size\"\r\n"));
}

void tst_TestRunMachine::failedWritesAreReportedOnceAtTheEnd_data()
{
    QTest::addColumn<bool>("fullDisk");
    QTest::newRow("file size limit") << false;
    QTest::newRow("full disk") << true;
}

void tst_TestRunMachine::failedWritesAreReportedOnceAtTheEnd()
{
    QFETCH(bool, fullDisk);
    Machine machine;
    std::optional<test::ScratchDisk> disk;
    if (fullDisk) {
        // The list takes about 150 KB of it, the exceptions file gets the
        // room for a few hundred of its 3,000 records.
        disk.emplace(machine.applicationDirectory(), 176 * 1024);
        if (!disk->isMounted())
            SKIP_UNLESS_REQUIRED("a full disk of its own needs root and a mount namespace");
    }
    Machine::makeFile(machine.systemDirectory() + "/found.so", 1, reference);
    std::string list;
    for (int i = 0; i < 3000; ++i)
        list += entry("missing-" + std::to_string(i) + ".so", "1");
    list += entry("found.so", "1");
    Machine::writeText(machine.dataFile("indll.txt"), list);
    TestRuntime runtime(machine);
    FakeWindow window;

    if (fullDisk) {
        runTest(window, runtime);
    } else {
        test::FileSizeLimit full(20'000); // the file fills up a few hundred records in
        runTest(window, runtime);
    }

    QCOMPARE(window.missing.size(), std::size_t { 3000 });
    for (const std::string& line : window.missing)
        QVERIFY2(line.ends_with(" - Error: File not found"), line.c_str());
    QCOMPARE(lines(window.matching), QStringList { "found.so" });
    QCOMPARE(lines(runtime.messages), QStringList { "Error  61: Disk full" });
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    // What reached the disk is the first records exactly, up to a line end.
    std::string everything = header;
    for (int i = 0; i < 3000; ++i)
        everything += "\"missing-" + std::to_string(i) + ".so\",1,\"Monday, December 7, 2026\",\"File not found\"\r\n";
    const std::string written = Machine::readText(machine.dataFile("outdll.txt"));
    QVERIFY(written.size() > header.size() && written.size() < everything.size());
    QVERIFY(everything.starts_with(written));
    QVERIFY(written.ends_with("\r\n"));
    QCOMPARE(Machine::readText(machine.dataFile("indll.txt")), list);
}

void tst_TestRunMachine::badReferenceEntries_data()
{
    // What the host makes of names that are no plain file names. The
    // machine has "a" and "a.so" (10 bytes, Monday) in the system
    // directory and a directory "sub" with "x.so" (the same) in the
    // application directory.
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("matching");
    const QByteArray monday = ",\"10\",\"Monday, December 7, 2026\"\r\n";
    QTest::newRow("NUL byte does not name the file before it")
        << QByteArray("\"a\0b.so\"", 8) + monday << QString::fromLatin1("a\0b.so - Error: Bad file name or number", 39)
        << "";
    QTest::newRow("directory is not a file") << "\"sub\"" + monday << "sub - Error: File not found"
                                             << "";
    QTest::newRow("empty name") << "\"\"" + monday << " - Error: File not found"
                                << "";
    QTest::newRow("absolute path stays inside the directories")
        << "\"/etc/passwd\"" + monday << "/etc/passwd - Error: Path not found"
        << "";
    QTest::newRow("backslash is a separator") << "\"..\\system\\a.so\"" + monday << ""
                                              << "..\\system\\a.so";
    QTest::newRow("folder only the application directory has") << "\"sub\\x.so\"" + monday << ""
                                                               << "sub\\x.so";
}

void tst_TestRunMachine::badReferenceEntries() { test::checkBadReferenceEntries<Machine>(reference); }

void tst_TestRunMachine::referenceListRewrittenDuringTheRun_data()
{
    QTest::addColumn<bool>("inPlace");
    // Ctrl+B in another instance puts a new file in the list's place: the
    // run goes on reading the list it opened, to its end.
    QTest::newRow("another instance regenerates it") << false;
    // Another program writing into the same file: the rest would be another
    // list's bytes at this one's offset, so the run stops reading.
    QTest::newRow("another program rewrites it in place") << true;
}

void tst_TestRunMachine::referenceListRewrittenDuringTheRun()
{
    QFETCH(bool, inPlace);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/a.so", 10, reference);
    std::string list;
    for (int i = 0; i < 5000; ++i) // larger than one read of the list
        list += entry("a.so", "10");
    Machine::writeText(machine.dataFile("indll.txt"), list);
    Machine::writeText(machine.dataFile("dlls.txt"), "b.so\r\n");
    TestRuntime runtime(machine);
    FakeWindow window;
    runtime.onProcessEvents = [&] {
        if (runtime.eventRounds != 10)
            return;
        if (inPlace) {
            Machine::writeText(machine.dataFile("indll.txt"), entry("b.so", "1"));
        } else {
            TestRuntime other(machine);
            generateReference(other);
        }
    };
    runTest(window, runtime);
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    if (!inPlace) {
        QCOMPARE(window.matching.size(), std::size_t { 5000 });
        QVERIFY(window.missing.empty());
        QVERIFY(runtime.messages.empty());
        return;
    }
    QVERIFY(window.matching.size() >= 10 && window.matching.size() < 5000);
    // An entry torn by the rewrite is reported as such, never misread.
    QVERIFY(window.missing.size() <= 1);
    for (const std::string& line : window.missing)
        QCOMPARE(QString::fromStdString(line), QStringLiteral("a.so - Error: The file changed while it was read"));
    QCOMPARE(lines(runtime.messages), QStringList { "Error  75: The file changed while it was read" });
}

void tst_TestRunMachine::numericDatesOnAMachineOfAnyLanguage_data()
{
    // The machine's language is C on servers and in containers, an unknown
    // name is C to Qt too; "system" is whatever LANG the test runs under.
    // The long dates of March 6 and 7, 2020, as written there.
    QTest::addColumn<QLocale>("machineLanguage");
    QTest::addColumn<QStringList>("longDates");
    const QStringList c { "Friday, 6 March 2020", "Saturday, 7 March 2020" };
    QTest::newRow("C") << QLocale::c() << c;
    QTest::newRow("unknown xx_YY") << QLocale(QStringLiteral("xx_YY")) << c;
    if (QLocale::system().language() == QLocale::C) // LANG=C.UTF-8 or none
        QTest::newRow("system") << QLocale::system() << c;
    QTest::newRow("en_US") << QLocale(QLocale::English, QLocale::UnitedStates)
                           << QStringList { "Friday, March 6, 2020", "Saturday, March 7, 2020" };
}

void tst_TestRunMachine::numericDatesOnAMachineOfAnyLanguage()
{
    // ISO and slashed dates: the slashes are read in the POSIX order
    // month/day/year where nothing in the list says otherwise.
    QFETCH(QLocale, machineLanguage);
    QFETCH(QStringList, longDates);
    Machine machine;
    Machine::makeFile(machine.systemDirectory() + "/iso.so", 10, QDateTime(QDate(2020, 3, 6), QTime(9, 0)));
    Machine::makeFile(machine.systemDirectory() + "/slashed.so", 10, QDateTime(QDate(2020, 6, 3), QTime(9, 0)));
    Machine::makeFile(machine.systemDirectory() + "/other.so", 10, QDateTime(QDate(2020, 3, 7), QTime(9, 0)));
    Machine::writeText(machine.dataFile("indll.txt"),
        "\"iso.so\",\"10\",\"2020-03-06\"\r\n\"slashed.so\",\"10\",\"06/03/2020\"\r\n"
        "\"other.so\",\"10\",\"2020-03-06\"\r\n");
    TestRuntime runtime(machine, machineLanguage);
    FakeWindow window;
    runTest(window, runtime);
    const bool dayFirst = machineLanguage.language() != QLocale::C
        && machineLanguage.dateFormat(QLocale::ShortFormat).indexOf(QLatin1Char('d'))
            < machineLanguage.dateFormat(QLocale::ShortFormat).indexOf(QLatin1Char('M'));
    if (dayFirst)
        QSKIP("this machine's language reads 06/03/2020 as the 6th of March");
    QCOMPARE(lines(window.matching), (QStringList { "iso.so", "slashed.so" }));
    QCOMPARE(lines(window.missing), QStringList { "other.so - Could not match date/size" });
    QCOMPARE(QString::fromStdString(Machine::readText(machine.dataFile("outdll.txt"))),
        QString::fromStdString(header) + "\"other.so\",10,10,\"" + longDates[1] + "\",\"" + longDates[0]
            + "\",\"Bad date or size\"\r\n");
    QVERIFY(runtime.messages.empty());
}

void tst_TestRunMachine::contentsOnThisMachine_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one job") << 1;
    QTest::newRow("four jobs") << 4;
}

void tst_TestRunMachine::contentsOnThisMachine()
{
    // Files of three blocks, their digests made and then compared through
    // the system's files, in turn and from workers alike; in turn, the
    // window answers between the blocks, not only after each entry.
    QFETCH(int, jobs);
    Machine machine;
    std::string names;
    for (int i = 0; i < 6; ++i) {
        const std::string name = "c" + std::to_string(i) + ".so";
        const std::string file = machine.systemDirectory() + "/" + name;
        Machine::writeText(file, std::string(std::size_t { 3 } << 20, static_cast<char>('a' + i)));
        QFile touched(QString::fromStdString(file));
        QVERIFY(
            touched.open(QIODevice::ReadWrite) && touched.setFileTime(reference, QFileDevice::FileModificationTime));
        names += name + "\r\n";
    }
    Machine::writeText(machine.dataFile("dlls.txt"), names);
    TestRuntime runtime(machine);
    generateReference(runtime, {}, DigestChoice::Make, {}, jobs);
    // c1.so gets other bytes of the same size and time.
    const std::string changed = machine.systemDirectory() + "/c1.so";
    Machine::writeText(changed, std::string(std::size_t { 3 } << 20, 'z'));
    QFile touched(QString::fromStdString(changed));
    QVERIFY(touched.open(QIODevice::ReadWrite) && touched.setFileTime(reference, QFileDevice::FileModificationTime));
    FakeWindow window;
    runtime.eventRounds = 0;
    runTest(window, runtime, {}, jobs);
    QCOMPARE(lines(window.matching), (QStringList { "c0.so", "c2.so", "c3.so", "c4.so", "c5.so" }));
    QCOMPARE(lines(window.missing), QStringList { "c1.so - Contents differ" });
    if (jobs == 1)
        QCOMPARE(runtime.eventRounds, 6 * 4);
}

QTEST_GUILESS_MAIN(tst_TestRunMachine)
#include "tst_testrun_machine.moc"
