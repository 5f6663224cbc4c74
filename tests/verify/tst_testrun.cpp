#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "signing/Signatures.h"
#include "tests/fakes/CommandChecks.h"
#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/MemoryMachine.h"
#include "tests/fakes/OutOfOrderFiles.h"
#include "verify/EntryCheck.h"

#include <QDateTime>

using namespace deptest;
using deptest::test::at;
using deptest::test::FakeRuntime;
using deptest::test::FakeWindow;
using deptest::test::lines;
using Machine = deptest::test::MemoryMachine;

namespace {

// The fake runtime writes every date as ISO text, the file's and the
// list's alike; the host tests compare real long dates.
const QDateTime reference(QDate(2026, 12, 7), QTime(10, 30));
const std::string header = test::exceptionsHeaderLine();

// One line of a reference list, dated December 7, 2026.
std::string entry(std::string_view name, std::string_view size) { return test::entry(name, size, "2026-12-07"); }

QByteArray utf16(const QByteArray& text, bool littleEndian)
{
    return QByteArray::fromStdString(test::utf16Text(text.toStdString(), littleEndian));
}

} // namespace

class tst_TestRun : public QObject {
    Q_OBJECT
private slots:
    void verdicts_data();
    void verdicts();
    void windowsDirectoryFileIsComparedByName();
    void appDirectoryOptionIsReadPerEntry_data();
    void appDirectoryOptionIsReadPerEntry();
    void emptyReferenceList();
    void twoRunsGiveTheSameLists();
    void unopenableFilesEndTheProgram_data();
    void unopenableFilesEndTheProgram();
    void truncatedEntryStartsEmpty_data();
    void truncatedEntryStartsEmpty();
    void listsInUseByAnotherRun();
    void undatableFileIsItsOwnEntrysFault();
    void filesChangedWhileTheRunProcessesEvents();
    void badReferenceEntries_data();
    void badReferenceEntries();
    void countlessDistinctDatesAreNotAllKept();
    void contents_data();
    void contents();
    void digestListThatCannotBeRead_data();
    void digestListThatCannotBeRead();
    void signedLists_data();
    void signedLists();
    void entriesInFlight_data();
    void entriesInFlight();
    void closingTheWindowWithEntriesInFlight_data();
    void closingTheWindowWithEntriesInFlight();
};

void tst_TestRun::contents_data()
{
    // a.so of ten bytes, dated as its entry says unless its bytes are
    // longer; "GOOD" in the digest list is the digest of the reference
    // machine's bytes, "-" no digest list at all. Then what the run showed:
    // the lines, the reason of the exceptions record, its messages and how
    // many files it read.
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("digestList");
    QTest::addColumn<QString>("matching");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("messages");
    QTest::addColumn<int>("filesRead");
    const QByteArray same = "0123456789";
    const QByteArray good = "GOOD  a.so\n";
    QTest::newRow("no digest list: nothing read") << same << QByteArray("-") << "a.so"
                                                  << ""
                                                  << ""
                                                  << "" << 0;
    QTest::newRow("same contents") << same << good << "a.so"
                                   << ""
                                   << ""
                                   << "" << 1;
    QTest::newRow("other contents, same size and day") << QByteArray("9876543210") << good << ""
                                                       << "a.so - Contents differ"
                                                       << "Contents differ"
                                                       << "" << 1;
    QTest::newRow("other size: not read") << QByteArray("01234567890") << good << ""
                                          << "a.so - Could not match date/size"
                                          << "Bad date or size"
                                          << "" << 0;
    QTest::newRow("not there: not read") << QByteArray() << good << ""
                                         << "a.so - Error: File not found"
                                         << "File not found"
                                         << "" << 0;
    QTest::newRow("unreadable") << QByteArray("unreadable") << good << ""
                                << "a.so - Error: Permission denied"
                                << "Permission denied"
                                << "" << 1;
    QTest::newRow("listed twice") << same << good + good << ""
                                  << "a.so - No usable digest: listed twice in indll.sha256"
                                  << "No usable digest: listed twice in indll.sha256"
                                  << "" << 0;
    QTest::newRow("bad digest") << same << QByteArray("00  a.so\n") << ""
                                << "a.so - No usable digest: its digest in indll.sha256 is not 64 hexadecimal digits"
                                << "No usable digest: its digest in indll.sha256 is not 64 hexadecimal digits"
                                << "" << 0;
    QTest::newRow("cut short before the name: size and date, and said")
        << same << QByteArray("") << "a.so"
        << ""
        << ""
        << "indll.sha256: 1 name of indll.txt without a digest, compared by size and date only: a.so" << 0;
    QTest::newRow("lines that name no file and names not listed")
        << same << "GOOD\n" + good + "GOOD  b.so\nGOOD  c.so\n"
        << "a.so"
        << ""
        << ""
        << "indll.sha256: 1 line names no file: line 1\nindll.sha256: 2 names are not in indll.txt: b.so, c.so" << 1;
}

void tst_TestRun::contents()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, digestList);
    QFETCH(QString, matching);
    QFETCH(QString, missing);
    QFETCH(QString, reason);
    QFETCH(QString, messages);
    QFETCH(int, filesRead);
    Machine machine;
    const std::string path = machine.systemDirectory() + "\\a.so";
    if (!bytes.isEmpty())
        machine.files.put(path, bytes.toStdString(), at(reference));
    if (bytes == "unreadable") {
        machine.files.put(path, "0123456789", at(reference));
        machine.files.makeUnreadable(path, Error::of(error::permissionDenied));
    }
    machine.writeText(machine.dataFile("indll.txt"), entry("a.so", "10"));
    if (digestList != "-")
        machine.writeText(machine.dataFile("indll.sha256"),
            digestList.replace("GOOD", QByteArray::fromStdString(hexOf(test::MemoryFiles::fingerprint("0123456789"))))
                .toStdString());
    for (const int jobs : { 1, 4 }) {
        FakeRuntime runtime(machine.applicationDirectory(), machine.files);
        FakeWindow window;
        runTest(window, runtime, {}, jobs);
        QCOMPARE(lines(window.matching).join('|'), matching);
        QCOMPARE(lines(window.missing).join('|'), missing);
        const std::string exceptions = machine.readText(machine.dataFile("outdll.txt"));
        QCOMPARE(QString::fromStdString(exceptions.substr(header.size())).section('"', -2, -2), reason);
        QCOMPARE(lines(runtime.messages).join('|'), messages);
        QCOMPARE(runtime.digestsComputed.load(), filesRead);
    }
}

void tst_TestRun::digestListThatCannotBeRead_data()
{
    // What stands in the digest list's place, or what refuses it; then
    // the message at the end of the run.
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("refusal");
    QTest::addColumn<QString>("message");
    const QString said = "indll.sha256 could not be read, so no contents were compared: ";
    QTest::newRow("permission denied") << "refused" << int(error::permissionDenied)
                                       << said + "Error  70: Permission denied";
    QTest::newRow("path/file access error")
        << "refused" << int(error::pathFileAccess) << said + "Error  75: Path/File access error";
    QTest::newRow("device error") << "refused" << int(error::deviceIo) << said + "Error  57: Device I/O error";
    QTest::newRow("a directory") << "directory" << 0 << said + "Error  75: Path/File access error";
    QTest::newRow("absent: nothing said") << "absent" << 0 << "";
}

void tst_TestRun::digestListThatCannotBeRead()
{
    QFETCH(QString, list);
    QFETCH(int, refusal);
    QFETCH(QString, message);
    Machine machine;
    // a.so matches by size and day, and the list's digest is of other bytes.
    machine.files.put(machine.systemDirectory() + "\\a.so", "0123456789", at(reference));
    machine.writeText(machine.dataFile("indll.txt"), entry("a.so", "10"));
    const std::string digests = machine.dataFile("indll.sha256");
    if (list == "refused") {
        machine.writeText(digests, hexOf(test::MemoryFiles::fingerprint("9876543210")) + "  a.so\n");
        machine.files.makeUnreadable(digests, Error::of(refusal));
    } else if (list == "directory") {
        machine.makeDirectory(digests);
    }
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    std::vector<ContentCheck> contents;
    runTest(window, runtime, { .judged = [&](const EntryVerdict& verdict) { contents.push_back(verdict.contents); } });
    QCOMPARE(lines(window.matching), QStringList { "a.so" });
    QVERIFY(window.missing.empty());
    QCOMPARE(contents, std::vector<ContentCheck> { ContentCheck::NotCompared });
    QCOMPARE(runtime.digestsComputed.load(), 0);
    QCOMPARE(lines(runtime.messages).join('|'), message);
}

void tst_TestRun::verdicts_data()
{
    // The list line and what its tooltip says: both sides, the difference
    // marked; or where the file was looked for last and why it failed.
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QDateTime>("modified");
    QTest::addColumn<QString>("expectedMatching");
    QTest::addColumn<QString>("expectedMissing");
    QTest::addColumn<QString>("detail");
    const QString sameDate = "Date here: 2026-12-07; on the reference machine: 2026-12-07";
    QTest::newRow("same size, same day") << qint64(10) << reference << "a.so"
                                         << ""
                                         << "";
    QTest::newRow("same size, same day, other time") << qint64(10) << reference.addSecs(-10 * 3600) << "a.so"
                                                     << ""
                                                     << "";
    QTest::newRow("same size, other day") << qint64(10) << reference.addDays(1) << ""
                                          << "a.so - Could not match date/size"
                                          << "Size here: 10 bytes; on the reference machine: 10 bytes\n"
                                             "Date here: 2026-12-08; on the reference machine: 2026-12-07 (differs)";
    QTest::newRow("same day, other size")
        << qint64(11) << reference << ""
        << "a.so - Could not match date/size"
        << "Size here: 11 bytes; on the reference machine: 10 bytes (differs)\n" + sameDate;
    QTest::newRow("not there") << qint64(-1) << reference << ""
                               << "a.so - Error: File not found"
                               << "Looked for last as APP\\a.so\nError  53: File not found";
}

void tst_TestRun::verdicts()
{
    QFETCH(qint64, size);
    QFETCH(QDateTime, modified);
    QFETCH(QString, expectedMatching);
    QFETCH(QString, expectedMissing);
    QFETCH(QString, detail);
    Machine machine;
    if (size >= 0)
        machine.makeFile(machine.systemDirectory() + "/a.so", size, at(modified));
    machine.writeText(machine.dataFile("indll.txt"), entry("a.so", "10"));
    detail.replace(QStringLiteral("APP"), QString::fromStdString(machine.applicationDirectory()));
    for (const int jobs : { 1, 4 }) {
        FakeRuntime runtime(machine.applicationDirectory(), machine.files);
        FakeWindow window;
        runTest(window, runtime, {}, jobs);
        QCOMPARE(lines(window.matching).join('|'), expectedMatching);
        QCOMPARE(lines(window.missing).join('|'), expectedMissing);
        QCOMPARE(lines(window.missingDetails).join('|'), detail);
        QVERIFY(runtime.messages.empty());
    }
}

void tst_TestRun::windowsDirectoryFileIsComparedByName()
{
    Machine machine;
    machine.makeFile(machine.windowsDirectory() + "/w.so", 5, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), entry("w.so", "5") + entry("w.so", "6"));
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(lines(window.matching), QStringList { "w.so" });
    QCOMPARE(lines(window.missing), QStringList { "w.so - Could not match date/size" });
}

void tst_TestRun::appDirectoryOptionIsReadPerEntry_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("in turn") << 1;
    QTest::newRow("in flight") << 4;
}

void tst_TestRun::appDirectoryOptionIsReadPerEntry()
{
    QFETCH(int, jobs);
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/s.so", 5, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), entry("s.so", "5") + entry("s.so", "5") + entry("s.so", "5"));
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    // The user ticks the box once the first entry is shown, and clears it
    // once the second is: entries looked up ahead follow the box too.
    runtime.onProcessEvents
        = [&window] { window.appDirectoryOnly = window.matching.size() + window.missing.size() == 1; };
    runTest(window, runtime, {}, jobs);
    QCOMPARE(lines(window.matching), (QStringList { "s.so", "s.so" }));
    QCOMPARE(lines(window.missing), QStringList { "s.so - Error: File not found" });
}

void tst_TestRun::emptyReferenceList()
{
    Machine machine;
    machine.writeText(machine.dataFile("indll.txt"), "");
    machine.writeText(machine.dataFile("outdll.txt"), "stale contents\r\n");
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    window.matching = { "from before" };
    runTest(window, runtime);
    QVERIFY(window.matching.empty());
    QVERIFY(window.missing.empty());
    QCOMPARE(machine.readText(machine.dataFile("outdll.txt")), header);
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    QVERIFY(runtime.messages.empty());
}

void tst_TestRun::twoRunsGiveTheSameLists()
{
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/a.so", 10, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), entry("a.so", "10") + entry("b.so", "1"));
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    runTest(window, runtime);
    const auto firstMatching = window.matching;
    const auto firstMissing = window.missing;
    const std::string firstFile = machine.readText(machine.dataFile("outdll.txt"));
    runTest(window, runtime);
    QCOMPARE(window.matching, firstMatching);
    QCOMPARE(window.missing, firstMissing);
    QCOMPARE(machine.readText(machine.dataFile("outdll.txt")), firstFile);
}

void tst_TestRun::unopenableFilesEndTheProgram_data()
{
    // A read-only application directory is a host test.
    QTest::addColumn<bool>("referenceListExists");
    QTest::addColumn<bool>("exceptionsIsDirectory");
    QTest::addColumn<QString>("message");
    QTest::newRow("no reference list") << false << false << "Error:  Could not find InDLL.txt.";
    QTest::newRow("exceptions file is a directory") << true << true << "Error  75: Path/File access error";
}

void tst_TestRun::unopenableFilesEndTheProgram()
{
    Machine machine;
    test::checkUnopenableFilesEndTheProgram(machine);
}

void tst_TestRun::truncatedEntryStartsEmpty_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("lastRecord");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("originalDate");
    // Wherever the file is found, a record the list cuts short is judged on
    // the fields it lacks, not compared as if they were empty.
    for (const char* folder : { "system", "windows", "application" }) {
        QTest::addRow("after the size, found in the %s directory", folder) << folder << "\"b.so\",\"10\""
                                                                           << "Input past end of file"
                                                                           << "";
        QTest::addRow("after the name, found in the %s directory", folder) << folder << "\"b.so\""
                                                                           << "Input past end of file"
                                                                           << "";
        QTest::addRow("inside the quoted date, found in the %s directory", folder)
            << folder << "\"b.so\",\"10\",\"2026-12"
            << "Input past end of file inside a quoted field"
            << "2026-12"; // what the list gave is kept
    }
}

void tst_TestRun::truncatedEntryStartsEmpty()
{
    QFETCH(QString, folder);
    QFETCH(QString, lastRecord);
    QFETCH(QString, error);
    QFETCH(QString, originalDate);
    Machine machine;
    const std::string directory = folder == "system" ? machine.systemDirectory()
        : folder == "windows"                        ? machine.windowsDirectory()
                                                     : machine.applicationDirectory();
    machine.makeFile(machine.systemDirectory() + "/a.so", 10, at(reference.addDays(1)));
    machine.makeFile(directory + "/b.so", 10, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), "\"a.so\",\"10\",\"2026-12-07\"\r\n" + lastRecord.toStdString());
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(lines(window.missing), (QStringList { "a.so - Could not match date/size", "b.so - Error: " + error }));
    QVERIFY(lines(window.matching).isEmpty());
    // A record of its own, whole, with the size the list gave where it gave one.
    const std::string text = machine.readText(machine.dataFile("outdll.txt"));
    const std::string size = lastRecord.count(',') > 0 ? "10" : "0";
    QVERIFY2(text.ends_with("\r\n\"b.so\"," + size + ",\"" + originalDate.toStdString() + "\",\"" + error.toStdString()
                 + "\"\r\n"),
        text.c_str());
}

void tst_TestRun::listsInUseByAnotherRun()
{
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/a.so", 10, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), "\"a.so\",\"10\",\"2026-12-07\"\r\n");
    machine.writeText(machine.dataFile("outdll.txt"), "the other run's\r\n");
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    window.append(ListBox::Missing, "from the run before", "");
    runtime.listsInUse = true;
    runTest(window, runtime);
    // Said, and nothing touched: the file, the lists, the buttons.
    QCOMPARE(runtime.messages, (std::vector<std::string> { "Error  70: The lists are in use by another run" }));
    QCOMPARE(machine.readText(machine.dataFile("outdll.txt")), std::string("the other run's\r\n"));
    QCOMPARE(lines(window.missing), QStringList { "from the run before" });
    QVERIFY(!window.isUnloaded());
    QVERIFY(window.gating.empty());

    // The same for a generation, which would replace two lists.
    machine.writeText(machine.dataFile("dlls.txt"), "a.so\r\n");
    runtime.messages.clear();
    generateReference(runtime);
    QCOMPARE(runtime.messages, (std::vector<std::string> { "Error  70: The lists are in use by another run" }));
    QCOMPARE(machine.readText(machine.dataFile("indll.txt")), std::string("\"a.so\",\"10\",\"2026-12-07\"\r\n"));
    QVERIFY(machine.files.find(machine.dataFile("dllerr.txt")) == nullptr);

    // Once the other run has ended, the lock is taken and let go again.
    runtime.listsInUse = false;
    runtime.messages.clear();
    runTest(window, runtime);
    QCOMPARE(lines(window.matching), QStringList { "a.so" });
    QCOMPARE(runtime.locksTaken, 1);
}

namespace {

// A machine on which one file is found with a time that is no real day,
// as a broken file system may report, and which cannot write that day as
// a date, as the host cannot.
class UndatableRuntime final : public FakeRuntime {
public:
    using FakeRuntime::FakeRuntime;
    Result<FileMeasurement> measure(std::string_view path) override
    {
        Result<FileMeasurement> measured = FakeRuntime::measure(path);
        if (measured && path.ends_with("undatable.so"))
            measured->modified.month = 13;
        return measured;
    }
    Outcome formatLongDate(const FileTime& time, std::string& text) override
    {
        if (time.month > 12)
            return Error::of(error::invalidArgument);
        return FakeRuntime::formatLongDate(time, text);
    }
};

} // namespace

void tst_TestRun::undatableFileIsItsOwnEntrysFault()
{
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/undatable.so", 1, at(reference));
    machine.makeFile(machine.systemDirectory() + "/next.so", 1, at(reference));
    machine.writeText(machine.dataFile("indll.txt"), entry("undatable.so", "1") + entry("next.so", "1"));
    UndatableRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(lines(window.missing), QStringList { "undatable.so - Error: Invalid procedure call or argument" });
    QCOMPARE(lines(window.matching), QStringList { "next.so" });
}

void tst_TestRun::filesChangedWhileTheRunProcessesEvents()
{
    Machine machine;
    for (const char* name : { "/a.so", "/b.so", "/c.so" })
        machine.makeFile(machine.systemDirectory() + name, 10, at(reference));
    std::string list;
    for (const char* name : { "a.so", "b.so", "c.so" })
        list += entry(name, "10");
    machine.writeText(machine.dataFile("indll.txt"), list);
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    // While a.so's line is on its way to the screen, b.so is removed and
    // c.so replaced by a newer build.
    runtime.onProcessEvents = [&] {
        if (runtime.eventRounds != 1)
            return;
        machine.files.remove(machine.systemDirectory() + "\\b.so");
        machine.makeFile(machine.systemDirectory() + "/c.so", 12, at(reference.addDays(1)));
    };
    runTest(window, runtime);
    QCOMPARE(lines(window.matching), QStringList { "a.so" });
    QCOMPARE(
        lines(window.missing), (QStringList { "b.so - Error: File not found", "c.so - Could not match date/size" }));
    QCOMPARE(machine.readText(machine.dataFile("outdll.txt")),
        header + "\"b.so\",10,\"2026-12-07\",\"File not found\"\r\n"
            + "\"c.so\",12,10,\"2026-12-08\",\"2026-12-07\",\"Bad date or size\"\r\n");
}

void tst_TestRun::badReferenceEntries_data()
{
    // The machine has "a" and "a.so" (10 bytes, Monday) in the system
    // directory. What the host makes of names that are no plain file names
    // (a NUL byte, a directory, an empty or absolute path, backslashes) is
    // a host test.
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QString>("missing");
    QTest::addColumn<QString>("matching");
    const QByteArray monday = ",\"10\",\"2026-12-07\"\r\n";
    // A quoted name ends at its second quote; the rest of the field is
    // skipped, so the fields after it stay in step.
    QTest::newRow("double quote inside a name") << "\"a\"b.so\"" + monday + "\"a.so\"" + monday << ""
                                                << "a|a.so";
    QTest::newRow("size text that is no number")
        << QByteArray("\"a.so\",\"ten\",\"2026-12-07\"\r\n") << "a.so - Could not match date/size"
        << "";
    QTest::newRow("size beyond 64 bits") << QByteArray("\"a.so\",\"99999999999999999999\",\"2026-12-07\"\r\n")
                                         << "a.so - Error: Overflow"
                                         << "";
    QTest::newRow("date that is no date")
        << QByteArray("\"a.so\",\"10\",\"someday\"\r\n") << "a.so - Could not match date/size"
        << "";
    QTest::newRow("quote that never closes") << QByteArray("\"a.so,\"10\",\"x\"\r\n") << "a.so, - Error: File not found"
                                             << "";
    QTest::newRow("LF and CR line ends") << QByteArray(
        "\"a.so\",\"10\",\"2026-12-07\"\n\"a.so\",\"10\",\"2026-12-07\"\r")
                                         << ""
                                         << "a.so|a.so";
    QTest::newRow("byte-order mark before the first name") << QByteArray("\xEF\xBB\xBF\"a.so\"") + monday << ""
                                                           << "a.so";
    // Blank lines after the last record end the list: no entry without a
    // name, no empty record in the exceptions file.
    QTest::newRow("blank lines after the last record") << QByteArray("\"a.so\"") + monday + "\r\n  \r\n\n"
                                                       << ""
                                                       << "a.so";
    QTest::newRow("binary bytes") << QByteArray("\x01\xff\xfe,\x80\x90,\x00\r\n", 10)
                                  << QString::fromLatin1("\x01\xff\xfe - Error: File not found") << "";
    QTest::newRow("UTF-16LE list") << utf16("\"a.so\"" + monday + "\"a\"" + monday, true) << ""
                                   << "a.so|a";
    QTest::newRow("UTF-16BE list") << utf16("\"a.so\"" + monday, false) << ""
                                   << "a.so";
    // A name longer than any path is refused as soon as it is that long;
    // the entry after it is read as it should be.
    QTest::newRow("name longer than any path")
        << "\"" + QByteArray(200000, 'x') + "\"" + monday + "\"a.so\"" + monday
        << QString(qsizetype(RecordReader::longestField), 'x') + " - Error: Bad file name or number"
        << "a.so";
}

void tst_TestRun::badReferenceEntries() { test::checkBadReferenceEntries<Machine>(at(reference)); }

void tst_TestRun::countlessDistinctDatesAreNotAllKept()
{
    // What a run keeps of a list's date texts stays bounded, whatever the
    // list: every entry is still checked.
    Machine machine;
    std::string list;
    constexpr int entries = 70000;
    for (int i = 0; i < entries; ++i)
        list += "\"a.so\",\"10\",\"day " + std::to_string(i) + "\"\r\n";
    machine.writeText(machine.dataFile("indll.txt"), list);
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    FakeWindow window;
    runTest(window, runtime);
    QCOMPARE(window.missing.size(), std::size_t { entries });
    QCOMPARE(runtime.listsStarted.size(), std::size_t { 1 });
    QCOMPARE(runtime.listsStarted[0].size(), std::size_t { 65536 });
}

void tst_TestRun::signedLists_data()
{
    // a.so and both lists as the reference machine made them, signed with
    // the trusted key; then what was done to them. With a key trusted,
    // anything but the lists as signed gives no verdict at all.
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("trusted");
    QTest::addColumn<QString>("matching");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("notes");
    const QString refused = "Error  75: indll.txt is refused: ";
    QTest::newRow("as signed") << "" << true << "a.so"
                               << ""
                               << "indll.txt KEY|indll.sha256 KEY";
    QTest::newRow("a.so and its size edited")
        << "forge size" << true << "" << refused + "its signature does not match its contents"
        << "";
    QTest::newRow("signature edited") << "edit signature" << true << ""
                                      << refused + "its signature does not match its contents"
                                      << "";
    QTest::newRow("trusted comment edited")
        << "edit comment" << true << "" << refused + "the trusted comment of its signature has been changed"
        << "";
    QTest::newRow("signed by another key")
        << "other key" << true << "" << refused + "it is signed by key OTHER, which is not trusted"
        << "";
    QTest::newRow("unsigned") << "unsign" << true << "" << refused + "it is not signed, and a trusted key applies"
                              << "";
    QTest::newRow("signature of 10 MB") << "huge signature" << true << ""
                                        << refused
            + "indll.txt.minisig cannot be read: it is larger than such a file can be"
                                        << "";
    QTest::newRow("a.so and its digest edited")
        << "forge digest" << true << ""
        << "Error  75: indll.sha256 is refused: its signature does not match its contents"
        << "indll.txt KEY";
    QTest::newRow("digest list unsigned")
        << "unsign digests" << true << ""
        << "Error  75: indll.sha256 is refused: it is not signed, and a trusted key applies"
        << "indll.txt KEY";
    QTest::newRow("a trusted key file that is no key")
        << "bad key" << true << ""
        << "Error  75: The lists were not checked: /etc/deptest/trusted/x.pub: not a minisign public key (an "
           "untrusted comment and one line of base64)"
        << "";
    QTest::newRow("no trusted key: as before, signature not checked")
        << "" << false << "a.so"
        << ""
        << "indll.txt not checked|indll.sha256 not checked";
    QTest::newRow("no trusted key: a forged list passes as before") << "forge digest" << false << "a.so"
                                                                    << ""
                                                                    << "indll.txt not checked|indll.sha256 not checked";
}

namespace {

// The reference list and its digest list, with their signatures.
struct SignedLists {
    std::string list;
    std::string digests;
    std::string listSignature;
    std::string digestSignature;
};

std::string signatureOf(const signing::SecretKey& by, std::string_view bytes)
{
    return signing::signatureText(signing::sign(by, bytes, "timestamp:1", "signed"));
}

// What a row of signedLists does to a.so and its lists after they were signed.
void changeSigned(const QString& change, Machine& machine, SignedLists& lists)
{
    const std::string library = machine.systemDirectory() + "\\a.so";
    if (change == "forge size") {
        machine.files.put(library, "01234567890", at(reference));
        lists.list = entry("a.so", "11");
    } else if (change == "forge digest") {
        machine.files.put(library, "9876543210", at(reference));
        lists.digests = hexOf(test::MemoryFiles::fingerprint("9876543210")) + "  a.so\n";
    } else if (change == "edit signature") {
        signing::SignatureFile edited = *signing::readSignature(lists.listSignature);
        edited.signature[0] ^= 1;
        lists.listSignature = signing::signatureText(edited);
    } else if (change == "edit comment") {
        lists.listSignature.replace(lists.listSignature.find("timestamp:1"), 11, "timestamp:2");
    } else if (change == "huge signature") {
        lists.listSignature.append(10'000'000, 'A');
    }
}

// The lists in the application's folder, and the signatures the row leaves.
void writeSigned(const QString& change, Machine& machine, const SignedLists& lists)
{
    machine.writeText(machine.dataFile("indll.txt"), lists.list);
    machine.writeText(machine.dataFile("indll.sha256"), lists.digests);
    if (change != "unsign")
        machine.writeText(machine.dataFile("indll.txt.minisig"), lists.listSignature);
    if (change != "unsign digests")
        machine.writeText(machine.dataFile("indll.sha256.minisig"), lists.digestSignature);
}

// What the window was told of each list's signature.
QString signatureNotes(const FakeWindow& window)
{
    QStringList noted;
    for (const ListSignatureNote& note : window.signatures)
        noted << QString::fromStdString(note.list + " " + (note.checked ? note.keyId : "not checked"));
    return noted.join('|');
}

} // namespace

void tst_TestRun::signedLists()
{
    QFETCH(QString, change);
    QFETCH(bool, trusted);
    QFETCH(QString, matching);
    QFETCH(QString, message);
    QFETCH(QString, notes);
    Machine machine;
    machine.files.put(machine.systemDirectory() + "\\a.so", "0123456789", at(reference));
    const signing::SecretKey key = signing::newSecretKey();
    const signing::SecretKey other = signing::newSecretKey();
    SignedLists lists { entry("a.so", "10"), hexOf(test::MemoryFiles::fingerprint("0123456789")) + "  a.so\n", {}, {} };
    lists.listSignature = signatureOf(change == "other key" ? other : key, lists.list);
    lists.digestSignature = signatureOf(key, lists.digests);
    changeSigned(change, machine, lists);
    writeSigned(change, machine, lists);

    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    if (trusted)
        runtime.trustedKeys.push_back({ "/etc/deptest/trusted/k.pub",
            change == "bad key" ? "not a key" : signing::publicKeyText(signing::publicKeyOf(key)) });
    if (change == "bad key")
        runtime.trustedKeys.back().path = "/etc/deptest/trusted/x.pub";
    FakeWindow window;
    runTest(window, runtime);
    const QString keyId = QString::fromStdString(signing::keyIdText(key.id));
    message.replace("OTHER", QString::fromStdString(signing::keyIdText(other.id)));
    QCOMPARE(lines(window.matching).join('|'), matching);
    QCOMPARE(lines(runtime.messages).join('|'), message);
    QCOMPARE(signatureNotes(window), QString(notes).replace("KEY", keyId));
    // A list refused leaves nothing but the exceptions file's first line,
    // and the buttons enabled again.
    if (!message.isEmpty()) {
        QVERIFY(window.missing.empty());
        QCOMPARE(machine.readText(machine.dataFile("outdll.txt")), header);
        QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    }
}

namespace {

// A list of every kind of entry, `count` of them named e0.so onwards, and
// the machine they are checked on: the kind of entry i is i % 8.
const QStringList kindsOfEntry { "matching", "other size", "nowhere", "in the windows directory", "other day",
    "contents differ", "same contents", "size not a number" };

void putMixedList(Machine& machine, int count)
{
    std::string list;
    std::string digests;
    for (int i = 0; i < count; ++i) {
        const std::string name = "e" + std::to_string(i) + ".so";
        const std::string system = machine.systemDirectory() + "\\" + name;
        switch (i % 8) {
        case 0: machine.files.put(system, "0123456789", at(reference)); break;
        case 1: machine.files.put(system, "01234567890", at(reference)); break;
        case 2: break;
        case 3: machine.files.put(machine.windowsDirectory() + "\\" + name, "0123456789", at(reference)); break;
        case 4: machine.files.put(machine.dataFile(name), "0123456789", at(reference.addDays(1))); break;
        case 5:
        case 6:
            machine.files.put(system, "0123456789", at(reference));
            digests
                += hexOf(test::MemoryFiles::fingerprint(i % 8 == 5 ? "9876543210" : "0123456789")) + "  " + name + "\n";
            break;
        default: machine.files.put(system, "0123456789", at(reference));
        }
        list += entry(name, i % 8 == 7 ? "ten" : "10");
    }
    machine.writeText(machine.dataFile("indll.txt"), list);
    machine.writeText(machine.dataFile("indll.sha256"), digests);
}

// Everything a run shows and writes, in the order it came.
struct RunSeen {
    std::vector<std::string> matching;
    std::vector<std::string> missing;
    std::vector<std::string> missingDetails;
    std::vector<std::string> observed;
    std::vector<std::string> messages;
    std::string exceptions;
};

RunSeen runWith(
    Machine& machine, SystemFiles& files, int jobs, int closeAfter = -1, test::OutOfOrderFiles* released = nullptr)
{
    FakeRuntime runtime(machine.applicationDirectory(), files);
    if (released != nullptr)
        runtime.onProcessEvents = [released] { released->release(); };
    FakeWindow window;
    RunSeen seen;
    const auto observe = [&](const EntryVerdict& verdict) {
        seen.observed.push_back(verdict.name + " " + verdict.where + " " + verdict.line);
        if (static_cast<int>(seen.observed.size()) == closeAfter)
            window.exited = true;
    };
    runTest(window, runtime, { .judged = observe }, jobs);
    seen.matching = window.matching;
    seen.missing = window.missing;
    seen.missingDetails = window.missingDetails;
    seen.messages = runtime.messages;
    seen.exceptions = machine.readText(machine.dataFile("outdll.txt"));
    return seen;
}

} // namespace

void tst_TestRun::entriesInFlight_data()
{
    // How many lookups run at once, whether answers are held back so that
    // later entries' lookups end first, and how long the list is (the
    // batches of lookups under way are at most twice the jobs).
    QTest::addColumn<int>("jobs");
    QTest::addColumn<bool>("outOfOrder");
    QTest::addColumn<int>("entries");
    QTest::newRow("one job") << 1 << false << 24;
    QTest::newRow("two jobs, answers out of order") << 2 << true << 24;
    QTest::newRow("three jobs, answers out of order") << 3 << true << 24;
    QTest::newRow("sixteen jobs, more than the list's batches") << 16 << true << 24;
    QTest::newRow("the program's own choice, made when the run starts") << chosenLookupJobs << true << 24;
    QTest::newRow("four jobs, a list many times the lookups under way") << 4 << true << 400;
}

void tst_TestRun::entriesInFlight()
{
    // The lines, their details, the observer's entries, the exceptions
    // file and the messages at the end are those of a run that checks the
    // entries in turn, byte for byte and in the same order.
    QFETCH(int, jobs);
    QFETCH(bool, outOfOrder);
    QFETCH(int, entries);
    Machine machine;
    putMixedList(machine, entries);
    const auto nameOf = [](std::size_t i) { return "e" + std::to_string(i) + ".so"; };
    test::OutOfOrderFiles files(machine.files,
        outOfOrder ? test::heldAcrossBatches(std::size_t(entries), nameOf) : std::map<std::string, std::string> {});
    const RunSeen seen = runWith(machine, files, jobs, -1, &files);

    QStringList expectedMatching;
    for (int i = 0; i < entries; ++i) {
        if (i % 8 == 0 || i % 8 == 3 || i % 8 == 6)
            expectedMatching << "e" + QString::number(i) + ".so";
    }
    QCOMPARE(lines(seen.matching), expectedMatching);
    QCOMPARE(seen.missing.size(), std::size_t(entries) - std::size_t(expectedMatching.size()));
    QCOMPARE(seen.observed.size(), std::size_t(entries));
    QVERIFY(seen.missing.front().starts_with("e1.so - "));

    const RunSeen inTurn = runWith(machine, machine.files, 1);
    QCOMPARE(lines(seen.missing), lines(inTurn.missing));
    QCOMPARE(lines(seen.missingDetails), lines(inTurn.missingDetails));
    QCOMPARE(lines(seen.observed), lines(inTurn.observed));
    QCOMPARE(lines(seen.messages), lines(inTurn.messages));
    QCOMPARE(seen.exceptions, inTurn.exceptions);
}

void tst_TestRun::closingTheWindowWithEntriesInFlight_data()
{
    QTest::addColumn<int>("jobs");
    QTest::newRow("one job") << 1;
    QTest::newRow("four jobs") << 4;
    QTest::newRow("sixteen jobs") << 16;
}

void tst_TestRun::closingTheWindowWithEntriesInFlight()
{
    // The window closes while the fifth entry's line is shown: nothing
    // after it is shown or written, though later entries were looked up,
    // and the exceptions file holds whole records, those of a run in turn.
    QFETCH(int, jobs);
    Machine machine;
    putMixedList(machine, 64);
    const RunSeen seen = runWith(machine, machine.files, jobs, 5);
    const RunSeen inTurn = runWith(machine, machine.files, 1, 5);
    QCOMPARE(seen.observed.size(), std::size_t(5));
    QCOMPARE(seen.matching.size() + seen.missing.size(), std::size_t(5));
    QCOMPARE(lines(seen.observed), lines(inTurn.observed));
    QCOMPARE(seen.exceptions, inTurn.exceptions);
    QVERIFY(seen.exceptions.ends_with("\r\n"));
    QVERIFY(seen.messages.empty());
}

QTEST_GUILESS_MAIN(tst_TestRun)
#include "tst_testrun.moc"
