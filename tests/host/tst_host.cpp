#include "host/HostDirectories.h"
#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "services/Files.h"
#include "system/FileSystem.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestRuntime.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>

#include <cstdio>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include <sys/stat.h>

using namespace deptest;
using deptest::test::Machine;
using deptest::test::TestRuntime;

class tst_Host : public QObject {
    Q_OBJECT
private slots:
    void hostPaths_data();
    void hostPaths();
    void resolvedDirectories_data();
    void resolvedDirectories();
    void systemDirectoryHoldsThisProcesssCLibrary();
    void fileErrors_data();
    void fileErrors();
    void sizeBeyondTwoGigabytes();
    void fileTimeIsLocalTime_data();
    void fileTimeIsLocalTime();
    void zoneChangedBetweenRuns();
    void newVersionsNeverBesideTheTidyMark_data();
    void newVersionsNeverBesideTheTidyMark();
    void folderOnThisMachineIsNoShare();
    void fullDiskKeepsCompleteLines();
    void failedReplacementNumbers();
    void roundTripThroughRealFile();
    void longDateOfText_data();
    void longDateOfText();
    void longDateOfFileTime();
    void eachListReadsItsOwnDates();
    void contentDigests_data();
    void contentDigests();
};

void tst_Host::hostPaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("system directory") << "c:\\windows\\system\\libc.so.6"
                                      << "/sys/libc.so.6";
    QTest::newRow("windows directory") << "c:\\windows\\libc.so.6"
                                       << "/win/libc.so.6";
    QTest::newRow("any letter case") << "C:\\WINDOWS\\System\\a"
                                     << "/sys/a";
    QTest::newRow("application directory") << "/opt/deptest\\indll.txt"
                                           << "/opt/deptest/indll.txt";
    QTest::newRow("backslashes inside a name") << "c:\\windows\\sub\\x.so"
                                               << "/win/sub/x.so";
}

void tst_Host::hostPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const HostDirectories directories { "/sys/", "/win/" };
    QCOMPARE(QString::fromStdString(toHostPath(path.toStdString(), directories)), expected);
}

void tst_Host::resolvedDirectories_data()
{
    // Paths below a scratch root: "lib64" is a directory, "lib" a link to it.
    QTest::addColumn<QString>("cLibrary");
    QTest::addColumn<QString>("configuredWindows");
    QTest::addColumn<QString>("system");
    QTest::addColumn<QString>("windows");
    QTest::newRow("Fedora: the C library's directory") << "/lib64/libc.so.6"
                                                       << "/win/"
                                                       << "/lib64/"
                                                       << "/win/";
    QTest::newRow("reached through a link: its plain name") << "/lib/libc.so.6"
                                                            << "/win/"
                                                            << "/lib64/"
                                                            << "/win/";
    QTest::newRow("no C library found: the configured one") << ""
                                                            << "/win/"
                                                            << "/configured/"
                                                            << "/win/";
    QTest::newRow("a relative name: the configured one") << "lib64/libc.so.6"
                                                         << "/win/"
                                                         << "/configured/"
                                                         << "/win/";
    QTest::newRow("a vanished directory: the configured one") << "/gone/libc.so.6"
                                                              << "/win/"
                                                              << "/configured/"
                                                              << "/win/";
    QTest::newRow("no windows directory there: the system one") << "/lib64/libc.so.6"
                                                                << "/nowin/"
                                                                << "/lib64/"
                                                                << "/lib64/";
}

void tst_Host::resolvedDirectories()
{
    QFETCH(QString, cLibrary);
    QFETCH(QString, configuredWindows);
    QFETCH(QString, system);
    QFETCH(QString, windows);
    Machine machine;
    const QString root = QDir(QString::fromStdString(machine.root())).canonicalPath();
    QVERIFY(QDir(root).mkpath("lib64") && QDir(root).mkpath("win"));
    QVERIFY(QFile::link(root + "/lib64", root + "/lib"));
    Machine::writeText((root + "/lib64/libc.so.6").toStdString(), "elf");
    const auto under = [&](const QString& path) { return path.isEmpty() ? path : root + path; };
    const HostDirectories configured { (root + "/configured/").toStdString(), under(configuredWindows).toStdString() };
    const QString library = cLibrary.startsWith('/') ? under(cLibrary) : cLibrary;
    const HostDirectories found = resolveHostDirectories(library.toStdString(), configured);
    QCOMPARE(QString::fromStdString(found.system), under(system));
    QCOMPARE(QString::fromStdString(found.windows), under(windows));
}

void tst_Host::systemDirectoryHoldsThisProcesssCLibrary()
{
    // The C library mapped into this process, as the kernel tells it.
    QFile maps("/proc/self/maps");
    QVERIFY(maps.open(QIODevice::ReadOnly));
    QString library;
    for (const QByteArray& line : maps.readAll().split('\n')) {
        const QString path = QString::fromUtf8(line.mid(line.indexOf('/')));
        if (line.contains('/') && QFileInfo(path).fileName().startsWith("libc.so"))
            library = path;
    }
    QVERIFY(!library.isEmpty());
    const QString expected = QFileInfo(library).canonicalPath() + '/';
    QCOMPARE(QString::fromStdString(thisMachinesDirectories().system), expected);
    QVERIFY(QFileInfo::exists(expected + QFileInfo(library).fileName()));
}

void tst_Host::fileErrors_data()
{
    QTest::addColumn<QString>("leaf");
    QTest::addColumn<int>("sizeError");
    QTest::addColumn<int>("readError");
    QTest::newRow("missing file") << "nothing.so" << 53 << 53;
    QTest::newRow("missing directory") << "nodir\\nothing.so" << 76 << 76;
    QTest::newRow("directory is not a file") << "adir" << 53 << 75;
    QTest::newRow("path through a regular file") << "plain\\inside" << 76 << 76;
}

void tst_Host::fileErrors()
{
    QFETCH(QString, leaf);
    QFETCH(int, sizeError);
    QFETCH(int, readError);
    Machine machine;
    TestRuntime runtime(machine);
    QDir(QString::fromStdString(machine.applicationDirectory())).mkdir(QStringLiteral("adir"));
    Machine::writeText(machine.dataFile("plain"), "x");
    const std::string path = runtime.applicationDirectory() + "\\" + leaf.toStdString();

    const Result<FileMeasurement> measured = runtime.measure(path);
    QVERIFY(!measured);
    QCOMPARE(measured.error().number, sizeError);

    const auto opened = runtime.openForReading(path);
    QVERIFY(!opened);
    QCOMPARE(opened.error().number, readError);
}

void tst_Host::sizeBeyondTwoGigabytes()
{
    Machine machine;
    TestRuntime runtime(machine);
    QFile file(QString::fromStdString(machine.dataFile("big.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(3) << 30)); // sparse: takes no disk space
    file.close();
    const Result<FileMeasurement> measured = runtime.measure(runtime.applicationDirectory() + "\\big.bin");
    QVERIFY(measured);
    QCOMPARE(measured->size, std::int64_t { 3 } << 30);
}

void tst_Host::fileTimeIsLocalTime_data()
{
    // Within an hour of midnight: in any zone but UTC's, east or west, the
    // day in UTC is another one (the suite runs under several zones).
    QTest::addColumn<QDateTime>("when");
    QTest::newRow("leap day, just before midnight") << QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58));
    QTest::newRow("just after midnight") << QDateTime(QDate(2026, 12, 7), QTime(0, 20, 1));
    QTest::newRow("summer, just before midnight") << QDateTime(QDate(2026, 7, 1), QTime(23, 30, 0));
}

void tst_Host::fileTimeIsLocalTime()
{
    QFETCH(QDateTime, when);
    Machine machine;
    TestRuntime runtime(machine);
    // Measured in turn with files a second and half a year apart, and again.
    const std::vector<std::pair<std::string, QDateTime>> files { { "a.so", when }, { "b.so", when.addSecs(1) },
        { "c.so", when.addMonths(6) }, { "a.so", when } };
    for (const auto& [name, time] : files)
        Machine::makeFile(machine.dataFile(name), 1, time);
    for (const auto& [name, time] : files) {
        const Result<FileMeasurement> measured = runtime.measure(runtime.applicationDirectory() + "\\" + name);
        QVERIFY(measured);
        const QDate day = time.date();
        const QTime clock = time.time();
        QCOMPARE(measured->modified,
            (FileTime { day.year(), day.month(), day.day(), clock.hour(), clock.minute(), clock.second() }));
        QCOMPARE(measured->size, std::int64_t { 1 });
    }
}

void tst_Host::zoneChangedBetweenRuns()
{
    // The machine's zone changes while the program is open (the window
    // stays open from one Test to the next): the next run reckons the same
    // file's time in the new zone, the second just converted included.
    const QByteArray zoneBefore = qgetenv("TZ");
    const bool hadZone = qEnvironmentVariableIsSet("TZ");
    const auto restoreZone = qScopeGuard([&] {
        if (hadZone)
            qputenv("TZ", zoneBefore);
        else
            qunsetenv("TZ");
        ::tzset();
    });
    Machine machine;
    TestRuntime runtime(machine);
    Machine::makeFile(machine.dataFile("a.so"), 1, QDateTime(QDate(2026, 12, 7), QTime(0, 20, 1), Qt::UTC));
    const std::string path = runtime.applicationDirectory() + "\\a.so";
    std::vector<FileTime> seen;
    for (const char* zone : { "UTC0", "<+14>-14", "<-10>10" }) {
        qputenv("TZ", zone);
        const auto lock = runtime.lockLists(); // a run starts
        QVERIFY(lock);
        const Result<FileMeasurement> measured = runtime.measure(path);
        QVERIFY(measured);
        seen.push_back(measured->modified);
    }
    QCOMPARE(seen,
        (std::vector<FileTime> { FileTime { 2026, 12, 7, 0, 20, 1 }, FileTime { 2026, 12, 7, 14, 20, 1 },
            FileTime { 2026, 12, 6, 14, 20, 1 } }));
}

void tst_Host::newVersionsNeverBesideTheTidyMark_data()
{
    QTest::addColumn<bool>("holdingTheLists");
    QTest::newRow("a run holding the lists") << true;
    QTest::newRow("a writer without them (a folder without locks)") << false;
}

void tst_Host::newVersionsNeverBesideTheTidyMark()
{
    // A folder runs have left tidy is not listed for leftovers again: so
    // whatever writes a new version there takes the mark away first, and
    // killed while it writes leaves the folder to be listed by the next run.
    QFETCH(bool, holdingTheLists);
    Machine machine;
    TestRuntime runtime(machine);
    const QString mark = QString::fromStdString(machine.dataFile(".deptest-tidy"));
    QVERIFY(runtime.lockLists()); // a whole run
    QVERIFY(QFile::exists(mark));
    const QDir folder(QString::fromStdString(machine.applicationDirectory()));
    {
        Result<std::unique_ptr<ListsLock>> lock = std::unique_ptr<ListsLock>();
        if (holdingTheLists)
            lock = runtime.lockLists();
        QVERIFY(lock);
        const auto file = runtime.openForReplacing(runtime.applicationDirectory() + "\\dlls.txt");
        QVERIFY(file);
        QCOMPARE(folder.entryList({ QStringLiteral(".dlls.txt.??????") }, QDir::Files | QDir::Hidden).size(), 1);
        QVERIFY(!QFile::exists(mark));
    }
    // Only a run knows when all of its new versions are gone.
    QCOMPARE(QFile::exists(mark), holdingTheLists);
}

void tst_Host::folderOnThisMachineIsNoShare()
{
    Machine machine;
    TestRuntime runtime(machine);
    QVERIFY(!runtime.isRemoteDirectory(runtime.applicationDirectory()));
    QVERIFY(!isRemoteFolder(machine.applicationDirectory()));
}

void tst_Host::fullDiskKeepsCompleteLines()
{
    Machine machine;
    TestRuntime runtime(machine);
    auto file = runtime.openForWriting(runtime.applicationDirectory() + "\\full.txt");
    QVERIFY(file);
    Outcome failure;
    {
        test::FileSizeLimit full(100'000);
        RecordWriter writer(**file);
        const std::string name(40, 'n');
        for (int record = 0; record < 5000 && !failure; ++record)
            failure = writer.writeRecord({ name, std::int64_t { record } });
        (void)(*file)->close();
    }

    QVERIFY(failure);
    QCOMPARE(QString::fromStdString(generalErrorMessage(*failure)), QStringLiteral("Error  61: Disk full"));
    const std::string written = Machine::readText(machine.dataFile("full.txt"));
    QVERIFY(!written.empty());
    QVERIFY(written.size() <= 100'000);
    QVERIFY2(written.ends_with("\r\n"), "the file ends in a torn line");
}

void tst_Host::failedReplacementNumbers()
{
    // The same faults as the Windows host's test of replacing, with the
    // same numbers there and here.
    Machine machine;
    TestRuntime runtime(machine);
    const std::string target = machine.dataFile("list.txt");
    Machine::writeText(target, "old\r\n");
    // Made read-only while the new version was written: it stays, for root too.
    auto replacing = runtime.openForReplacing(target);
    QVERIFY(replacing);
    QVERIFY(!(*replacing)->write("new\r\n"));
    QVERIFY(QFile::setPermissions(QString::fromStdString(target), QFile::ReadOwner | QFile::ReadGroup));
    const Outcome protectedMeanwhile = (*replacing)->close();
    QVERIFY(protectedMeanwhile);
    QCOMPARE(protectedMeanwhile->number, error::permissionDenied);
    QCOMPARE(Machine::readText(target), std::string("old\r\n"));
    // Its directory removed before the new version is in place.
    const QString directory = QString::fromStdString(machine.root()) + "/gone";
    QVERIFY(QDir().mkpath(directory));
    auto orphan = runtime.openForReplacing(directory.toStdString() + "/list.txt");
    QVERIFY(orphan);
    QVERIFY(!(*orphan)->finish());
    QVERIFY(QDir(directory).removeRecursively());
    const Outcome vanished = (*orphan)->close();
    QVERIFY(vanished);
    QVERIFY2(vanished->number == error::fileNotFound || vanished->number == error::pathNotFound,
        vanished->description.c_str());
}

void tst_Host::roundTripThroughRealFile()
{
    Machine machine;
    TestRuntime runtime(machine);
    const std::string path = machine.applicationDirectory() + "\\round.txt";
    {
        auto file = runtime.openForWriting(path);
        QVERIFY(file);
        RecordWriter writer(**file);
        QVERIFY(!writer.writeRecord({ "Monday, December 7, 2026", "  spaced  ", "" }));
        QVERIFY(!writer.writeRecord({ "x", std::int64_t { -1 }, std::int64_t { 0 } }));
        QVERIFY(!(*file)->close());
    }
    QCOMPARE(Machine::readText(machine.applicationDirectory() + "/round.txt"),
        std::string("\"Monday, December 7, 2026\",\"  spaced  \",\"\"\r\n\"x\",-1,0\r\n"));

    auto file = runtime.openForReading(path);
    QVERIFY(file);
    RecordReader reader(**file);
    QStringList fields;
    while (!reader.atEnd())
        fields << QString::fromStdString(reader.readField().value());
    QCOMPARE(fields, (QStringList { "Monday, December 7, 2026", "  spaced  ", "", "x", "-1", "0" }));
}

void tst_Host::longDateOfText_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("en_US long date stays") << "en_US"
                                           << "Monday, December 7, 2026"
                                           << "Monday, December 7, 2026";
    QTest::newRow("en_US list read under de_DE") << "de_DE"
                                                 << "Monday, December 7, 2026"
                                                 << "Montag, 7. Dezember 2026";
    QTest::newRow("de_DE long date stays") << "de_DE"
                                           << "Montag, 7. Dezember 2026"
                                           << "Montag, 7. Dezember 2026";
    QTest::newRow("C long date") << "de_DE"
                                 << "Monday, 7 December 2026"
                                 << "Montag, 7. Dezember 2026";
    QTest::newRow("ISO date") << "en_US"
                              << "2026-12-07"
                              << "Monday, December 7, 2026";
    QTest::newRow("English month name") << "fr_FR"
                                        << "December 7, 2026"
                                        << "lundi 7 décembre 2026";
    QTest::newRow("surrounding blanks") << "en_US"
                                        << " 2026-12-07 "
                                        << "Monday, December 7, 2026";
    QTest::newRow("not a date comes back unchanged") << "en_US"
                                                     << "yesterday-ish"
                                                     << "yesterday-ish";
    QTest::newRow("empty text") << "en_US"
                                << ""
                                << "";
    QTest::newRow("impossible day") << "en_US"
                                    << "2026-02-30"
                                    << "2026-02-30";
}

void tst_Host::longDateOfText()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Machine machine;
    TestRuntime runtime(machine, QLocale(locale));
    QCOMPARE(QString::fromStdString(runtime.listDateAsLongDate(text.toStdString())), expected);
    // The same text again comes from the cache and must agree.
    QCOMPARE(QString::fromStdString(runtime.listDateAsLongDate(text.toStdString())), expected);
}

void tst_Host::longDateOfFileTime()
{
    Machine machine;
    TestRuntime runtime(machine);
    std::string text = "a longer text than any date it is overwritten with";
    QVERIFY(!runtime.formatLongDate(FileTime { 2026, 12, 7, 23, 59, 0 }, text));
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Monday, December 7, 2026"));
    const Outcome impossible = runtime.formatLongDate(FileTime { 2026, 13, 40, 0, 0, 0 }, text);
    QVERIFY(impossible);
    QCOMPARE(impossible->number, error::invalidArgument);
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Monday, December 7, 2026"));
    // Another day, then the first again at another time.
    QVERIFY(!runtime.formatLongDate(FileTime { 2026, 12, 8, 0, 0, 1 }, text));
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Tuesday, December 8, 2026"));
    QVERIFY(!runtime.formatLongDate(FileTime { 2026, 12, 7, 0, 0, 0 }, text));
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Monday, December 7, 2026"));
}

void tst_Host::eachListReadsItsOwnDates()
{
    // The same slashed text is March 4 in a list that also holds 12/25 and
    // April 3 in one that holds 25/12: a second run must not answer from
    // the first, even when the first ended on that very text.
    Machine machine;
    TestRuntime runtime(machine);
    const std::vector<std::string> monthFirst { "12/25/2020", "03/04/2020" };
    runtime.startList(monthFirst);
    QCOMPARE(
        QString::fromStdString(runtime.listDateAsLongDate("03/04/2020")), QStringLiteral("Wednesday, March 4, 2020"));
    const std::vector<std::string> dayFirst { "25/12/2020", "03/04/2020" };
    runtime.startList(dayFirst);
    QCOMPARE(QString::fromStdString(runtime.listDateAsLongDate("03/04/2020")), QStringLiteral("Friday, April 3, 2020"));
}

void tst_Host::contentDigests_data()
{
    // What is at app/f, and the digest sha256sum gives it or the error.
    QTest::addColumn<QString>("what");
    QTest::addColumn<QString>("expected");
    QTest::newRow("abc") << "abc"
                         << "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    QTest::newRow("empty") << ""
                           << "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
    QTest::newRow("several blocks") << "zeros"
                                    << "DIGEST";
    // Each of these would hang the test if waited on.
    QTest::newRow("a FIFO is not waited on") << "fifo"
                                             << "75: Not a regular file: its contents cannot be compared";
    QTest::newRow("a device is not read") << "device"
                                          << "75: Not a regular file: its contents cannot be compared";
    QTest::newRow("a directory") << "directory"
                                 << "75: Not a regular file: its contents cannot be compared";
    QTest::newRow("missing") << "missing"
                             << "53: File not found";
    QTest::newRow("another digest taken between blocks") << "nested"
                                                         << "DIGEST";
    QTest::newRow("cut short while read") << "shrinks"
                                          << "75: The file changed while it was read";
    QTest::newRow("removed while read") << "removed"
                                        << "75: The file changed while it was read";
    QTest::newRow("replaced by another while read") << "replaced"
                                                    << "75: The file changed while it was read";
    QTest::newRow("written over in place while read") << "rewritten"
                                                      << "75: The file changed while it was read";
    QTest::newRow("stopped on request") << "stopped"
                                        << "75: Stopped on request";
}

void tst_Host::contentDigests()
{
    QFETCH(QString, what);
    QFETCH(QString, expected);
    Machine machine;
    TestRuntime runtime(machine);
    const std::string file = machine.dataFile("f");
    std::function<bool()> betweenBlocks;
    const QStringList whileRead { "shrinks", "removed", "replaced", "rewritten", "stopped", "nested" };
    if (what == "zeros" || whileRead.contains(what))
        Machine::writeText(file, std::string(std::size_t { 5 } << 19, '\0')); // two and a half blocks
    else if (what == "fifo")
        QCOMPARE(::mkfifo(file.c_str(), 0600), 0);
    else if (what == "device")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), QString::fromStdString(file)));
    else if (what == "directory")
        Machine::makeDirectory(file);
    else if (what != "missing")
        Machine::writeText(file, what.toStdString());
    const QString path = QString::fromStdString(file);
    if (what == "shrinks")
        betweenBlocks = [&path] { return QFile::resize(path, 10); };
    else if (what == "removed")
        betweenBlocks = [&path] { return QFile::remove(path) || !QFile::exists(path); };
    else if (what == "replaced") {
        // The same bytes under the same name, but another file.
        betweenBlocks = [&path] {
            QFile::remove(path + ".new");
            return QFile::copy(path, path + ".new") && ::rename(qPrintable(path + ".new"), qPrintable(path)) == 0;
        };
    } else if (what == "rewritten") {
        // The same size, other bytes, a later time.
        betweenBlocks = [&path] {
            QFile rewritten(path);
            const bool done = rewritten.open(QIODevice::ReadWrite) && rewritten.write("x", 1) == 1;
            return done
                && rewritten.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime);
        };
    } else if (what == "stopped")
        betweenBlocks = [] { return false; };
    expected.replace("DIGEST", "6de7493c5c90f643357c268fbaaf461c1567e0334e4948023ce17268403aa37a");
    if (what == "nested") {
        // A digest taken from the events of another, as a window's may be:
        // each reads its own blocks.
        Machine::writeText(machine.dataFile("g"), "abc");
        betweenBlocks = [&runtime] {
            const Result<ContentDigest> other = runtime.digest(runtime.applicationDirectory() + "\\g", {});
            return other && hexOf(*other) == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        };
    }
    const Result<ContentDigest> digest = runtime.digest(runtime.applicationDirectory() + "\\f", betweenBlocks);
    const QString got = digest
        ? QString::fromStdString(hexOf(*digest))
        : QString::number(digest.error().number) + ": " + QString::fromStdString(digest.error().description);
    QCOMPARE(got, expected);
}

QTEST_GUILESS_MAIN(tst_Host)
#include "tst_host.moc"
