#include "records/DigestList.h"
#include "records/RecordReader.h"
#include "signing/ListSignature.h"
#include "tests/fakes/CommandChecks.h"
#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/MemoryMachine.h"
#include "tests/fakes/OutOfOrderFiles.h"

#include <QDateTime>

#include <vector>

using namespace deptest;
using deptest::test::at;
using deptest::test::FakeRuntime;
using Machine = deptest::test::MemoryMachine;

namespace {

// The fake runtime writes dates as ISO text; the host tests write real
// long dates.
const QDateTime monday(QDate(2026, 12, 7), QTime(9, 15));

} // namespace

class tst_Generation : public QObject {
    Q_OBJECT
private slots:
    void referenceAndNotFoundLists_data();
    void referenceAndNotFoundLists();
    void missingNameListWritesNothing();
    void failedDateRenderingIsThatNamesOwn();
    void badNames_data();
    void badNames();
    void digestList_data();
    void digestList();
    void signatures_data();
    void signatures();
    void namesInFlight_data();
    void namesInFlight();
};

void tst_Generation::referenceAndNotFoundLists_data()
{
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");

    const QByteArray both = "\"sys.so\",\"3\",\"2026-12-07\"\r\n\"win.so\",\"22\",\"2026-12-08\"\r\n";
    QTest::newRow("system directory beats windows directory")
        << QByteArray("sys.so\r\n") << QByteArray("\"sys.so\",\"3\",\"2026-12-07\"\r\n") << QByteArray();
    QTest::newRow("one per line") << QByteArray("sys.so\r\nwin.so\r\n") << both << QByteArray();
    QTest::newRow("commas on one line") << QByteArray("sys.so,win.so\r\n") << both << QByteArray();
    QTest::newRow("quoted, LF only") << QByteArray("\"sys.so\",\n\"win.so\"\n") << both << QByteArray();
    QTest::newRow("names found nowhere") << QByteArray("none.so\r\nsys.so\r\nalso none.so\r\n")
                                         << QByteArray("\"sys.so\",\"3\",\"2026-12-07\"\r\n")
                                         << QByteArray("\"none.so\"\r\n\"also none.so\"\r\n");
    QTest::newRow("empty name list") << QByteArray() << QByteArray() << QByteArray();
    // Blank lines after the last name end the list: no empty name is
    // looked up or written to the not-found list.
    QTest::newRow("blank last lines are no names")
        << QByteArray("sys.so\r\n\r\n  \r\n\n") << QByteArray("\"sys.so\",\"3\",\"2026-12-07\"\r\n") << QByteArray();
    QTest::newRow("byte-order mark before the first name")
        << QByteArray("\xEF\xBB\xBFsys.so\r\n") << QByteArray("\"sys.so\",\"3\",\"2026-12-07\"\r\n") << QByteArray();
    // Windows PowerShell's "dir -Name > dlls.txt", and Notepad's "Unicode".
    for (const bool little : { true, false })
        QTest::newRow(little ? "UTF-16LE" : "UTF-16BE")
            << QByteArray::fromStdString(test::utf16Text("sys.so\r\nwin.so\r\nnone.so\r\n", little)) << both
            << QByteArray("\"none.so\"\r\n");
}

void tst_Generation::referenceAndNotFoundLists()
{
    QFETCH(QByteArray, names);
    QFETCH(QByteArray, references);
    QFETCH(QByteArray, notFound);
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/sys.so", 3, at(monday));
    machine.makeFile(machine.windowsDirectory() + "/sys.so", 4, at(monday.addDays(-1)));
    machine.makeFile(machine.windowsDirectory() + "/win.so", 22, at(monday.addDays(1)));
    machine.writeText(machine.dataFile("dlls.txt"), names.toStdString());
    machine.writeText(machine.dataFile("indll.txt"), "old contents\r\n");
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    generateReference(runtime);
    QCOMPARE(QByteArray::fromStdString(machine.readText(machine.dataFile("indll.txt"))), references);
    QCOMPARE(QByteArray::fromStdString(machine.readText(machine.dataFile("dllerr.txt"))), notFound);
    QVERIFY(runtime.messages.empty());
}

void tst_Generation::missingNameListWritesNothing()
{
    Machine machine;
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    generateReference(runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { "Error:  Could not find DLLs.txt." });
    QVERIFY(!machine.exists(machine.dataFile("indll.txt")));
    QVERIFY(!machine.exists(machine.dataFile("dllerr.txt")));
}

namespace {

// A machine whose calendar cannot render one file's date.
class BadDateRuntime final : public FakeRuntime {
public:
    using FakeRuntime::FakeRuntime;
    Outcome formatLongDate(const FileTime& time, std::string& text) override
    {
        if (time.day == 1)
            return Error::of(error::invalidArgument);
        return FakeRuntime::formatLongDate(time, text);
    }
};

} // namespace

void tst_Generation::failedDateRenderingIsThatNamesOwn()
{
    Machine machine;
    machine.makeFile(machine.systemDirectory() + "/good.so", 1, at(monday));
    machine.makeFile(machine.systemDirectory() + "/bad.so", 2, at(QDateTime(QDate(2026, 12, 1), QTime(8, 0))));
    machine.writeText(machine.dataFile("dlls.txt"), "good.so\r\nbad.so\r\ngood.so\r\n");
    BadDateRuntime runtime(machine.applicationDirectory(), machine.files);
    generateReference(runtime);
    const std::string good = "\"good.so\",\"1\",\"2026-12-07\"\r\n";
    QCOMPARE(machine.readText(machine.dataFile("indll.txt")), good + good);
    QCOMPARE(machine.readText(machine.dataFile("dllerr.txt")), std::string("\"bad.so\"\r\n"));
}

void tst_Generation::badNames_data()
{
    // The machine has sys.so (3 bytes, Monday) and q"uote.so in the system
    // directory. What the host makes of names that are no plain file names
    // (a NUL byte, a directory, an empty or absolute path, backslashes) is
    // a host test.
    QTest::addColumn<QByteArray>("names");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");
    const QByteArray sys = "\"sys.so\",\"3\",\"2026-12-07\"\r\n";
    QTest::newRow("binary bytes") << QByteArray("\x01\xff\xfe\r\nsys.so\r\n") << sys
                                  << QByteArray("\"\x01\xff\xfe\"\r\n");
    // The file is there, but the reference list could not hold its name.
    QTest::newRow("double quote") << QByteArray("q\"uote.so\r\nsys.so\r\n") << sys << QByteArray("\"q\"uote.so\"\r\n");
    // A quoted name runs on to its closing quote, line ends and all.
    QTest::newRow("quote that never closes")
        << QByteArray("\"sys.so\r\n") << QByteArray() << QByteArray("\"sys.so\r\n\"\r\n");
    // Longer than any path: refused without being held whole.
    const QByteArray longName(50 * 1024 * 1024, 'n');
    QTest::newRow("a single line of 50 MB") << longName + "\r\nsys.so\r\n"
                                            << sys << "\"" + longName.left(RecordReader::longestField) + "\"\r\n";
}

void tst_Generation::badNames() { test::checkBadNames<Machine>(at(monday)); }

void tst_Generation::digestList_data()
{
    // The name list names sys.so twice, a file nobody can read and one
    // found nowhere; "old" lists were there before, "-" means no file.
    // Then the three lists after the generation, "D" standing for the
    // digest line of sys.so.
    QTest::addColumn<int>("choice");
    QTest::addColumn<bool>("digestListBefore");
    QTest::addColumn<std::size_t>("room");
    QTest::addColumn<QByteArray>("references");
    QTest::addColumn<QByteArray>("notFound");
    QTest::addColumn<QByteArray>("digests");
    const auto make = int(DigestChoice::Make);
    const auto asFound = int(DigestChoice::AsFound);
    const auto remove = int(DigestChoice::Remove);
    const std::size_t plenty = std::size_t(-1);
    const QByteArray two = "\"sys.so\",\"3\",\"2026-12-07\"\r\n\"sys.so\",\"3\",\"2026-12-07\"\r\n";
    const QByteArray three = two + "\"locked.so\",\"3\",\"2026-12-07\"\r\n";
    QTest::newRow("made: each name once; an unreadable file is not found")
        << make << false << plenty << two << QByteArray("\"locked.so\"\r\n\"none.so\"\r\n") << QByteArray("D");
    QTest::newRow("kept current while it is there")
        << asFound << true << plenty << two << QByteArray("\"locked.so\"\r\n\"none.so\"\r\n") << QByteArray("D");
    QTest::newRow("not made unasked: nothing is read")
        << asFound << false << plenty << three << QByteArray("\"none.so\"\r\n") << QByteArray("-");
    QTest::newRow("removed") << remove << true << plenty << three << QByteArray("\"none.so\"\r\n") << QByteArray("-");
    QTest::newRow("a full disk keeps all three old lists")
        << make << true << std::size_t(40) << QByteArray("old") << QByteArray("old") << QByteArray("old");
}

void tst_Generation::digestList()
{
    QFETCH(int, choice);
    QFETCH(bool, digestListBefore);
    QFETCH(std::size_t, room);
    QFETCH(QByteArray, references);
    QFETCH(QByteArray, notFound);
    QFETCH(QByteArray, digests);
    Machine machine;
    machine.files.put(machine.systemDirectory() + "\\sys.so", "abc", at(monday));
    machine.files.put(machine.systemDirectory() + "\\locked.so", "abc", at(monday));
    machine.files.makeUnreadable(machine.systemDirectory() + "\\locked.so", Error::of(error::permissionDenied));
    machine.writeText(machine.dataFile("dlls.txt"), "sys.so\r\nsys.so\r\nlocked.so\r\nnone.so\r\n");
    for (const char* list : { "indll.txt", "dllerr.txt" })
        machine.writeText(machine.dataFile(list), "old");
    if (digestListBefore)
        machine.writeText(machine.dataFile("indll.sha256"), "old");
    machine.files.room = room;
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    generateReference(runtime, {}, DigestChoice(choice));
    const auto read = [&machine](const char* list) {
        return machine.exists(machine.dataFile(list))
            ? QByteArray::fromStdString(machine.readText(machine.dataFile(list)))
            : QByteArray("-");
    };
    QCOMPARE(read("indll.txt"), references);
    QCOMPARE(read("dllerr.txt"), notFound);
    QCOMPARE(read("indll.sha256"),
        digests == "D" ? QByteArray::fromStdString(digestLine("sys.so", test::MemoryFiles::fingerprint("abc")))
                       : digests);
    QCOMPARE(runtime.messages.size(), std::size_t(room == std::size_t(-1) ? 0 : 1));
}

void tst_Generation::signatures_data()
{
    // Old lists, each signed, then a generation with or without a key and
    // with the digest list kept, made or removed: the signatures beside the
    // new lists, and those said to be removed.
    QTest::addColumn<bool>("withKey");
    QTest::addColumn<int>("digests");
    QTest::addColumn<QString>("signedLists");
    QTest::addColumn<QString>("removed");
    QTest::newRow("signed, digests kept") << true << int(DigestChoice::AsFound) << "indll.txt|indll.sha256"
                                          << "";
    QTest::newRow("signed, digests removed") << true << int(DigestChoice::Remove) << "indll.txt"
                                             << "indll.sha256.minisig";
    QTest::newRow("not signed: both signatures go") << false << int(DigestChoice::AsFound) << ""
                                                    << "indll.txt.minisig|indll.sha256.minisig";
    QTest::newRow("not signed, digests removed") << false << int(DigestChoice::Remove) << ""
                                                 << "indll.txt.minisig|indll.sha256.minisig";
}

void tst_Generation::signatures()
{
    QFETCH(bool, withKey);
    QFETCH(int, digests);
    QFETCH(QString, signedLists);
    QFETCH(QString, removed);
    Machine machine;
    machine.files.put(machine.systemDirectory() + "\\a.so", "0123456789", at(monday));
    machine.writeText(machine.dataFile("dlls.txt"), "a.so\n");
    for (const char* name : { "indll.txt", "indll.sha256", "indll.txt.minisig", "indll.sha256.minisig" })
        machine.writeText(machine.dataFile(name), "old\n");
    const signing::SecretKey key = signing::newSecretKey();
    ListSigning signing;
    if (withKey)
        signing.key = key;
    signing.trustedComment = "timestamp:1";
    QStringList said;
    signing.removed
        = [&said](std::string_view file) { said << QString::fromUtf8(file.data(), qsizetype(file.size())); };
    FakeRuntime runtime(machine.applicationDirectory(), machine.files);
    generateReference(runtime, {}, static_cast<DigestChoice>(digests), signing);
    QCOMPARE(runtime.messages, std::vector<std::string> {});
    QCOMPARE(said.join('|'), removed);
    // Each signature there verifies over its list as written, with the key.
    const std::vector<signing::TrustedKey> trusted { { "k.pub", signing::publicKeyOf(key) } };
    QStringList verified;
    for (const char* name : { "indll.txt", "indll.sha256" }) {
        const std::string signature = machine.dataFile(std::string(name) + ".minisig");
        if (!machine.exists(signature))
            continue;
        QVERIFY(machine.exists(machine.dataFile(name)));
        const auto checked
            = signing::checkList(machine.readText(machine.dataFile(name)), machine.readText(signature), trusted);
        QVERIFY2(checked, name);
        QCOMPARE(checked->trustedComment, std::string("timestamp:1"));
        verified << name;
    }
    QCOMPARE(verified.join('|'), signedLists);
}

namespace {

// What a generation wrote, and the names its observer saw, in order.
struct Generated {
    std::string references;
    std::string notFound;
    std::string digests;
    std::vector<std::string> observed;
};

Generated generateWith(Machine& machine, SystemFiles& files, int jobs, int stopAfter)
{
    for (const char* list : { "indll.txt", "dllerr.txt", "indll.sha256" })
        machine.writeText(machine.dataFile(list), "old");
    FakeRuntime runtime(machine.applicationDirectory(), files);
    Generated seen;
    generateReference(
        runtime,
        [&](const NameOutcome& outcome) {
            seen.observed.push_back(outcome.name + " " + outcome.where + " " + outcome.failure.description);
            return static_cast<int>(seen.observed.size()) != stopAfter;
        },
        DigestChoice::Make, {}, jobs);
    seen.references = machine.readText(machine.dataFile("indll.txt"));
    seen.notFound = machine.readText(machine.dataFile("dllerr.txt"));
    seen.digests = machine.readText(machine.dataFile("indll.sha256"));
    return seen;
}

} // namespace

void tst_Generation::namesInFlight_data()
{
    // How many lookups run at once, whether answers are held back so that
    // later names' lookups end first, how many names the
    // list has and after which the observer stops the run (0: none).
    QTest::addColumn<int>("jobs");
    QTest::addColumn<bool>("outOfOrder");
    QTest::addColumn<int>("names");
    QTest::addColumn<int>("stopAfter");
    QTest::newRow("one job") << 1 << false << 40 << 0;
    QTest::newRow("two jobs, answers out of order") << 2 << true << 40 << 0;
    QTest::newRow("sixteen jobs, answers out of order") << 16 << true << 40 << 0;
    QTest::newRow("three jobs, a list many times the lookups under way") << 3 << true << 300 << 0;
    QTest::newRow("one job, stopped") << 1 << false << 40 << 7;
    QTest::newRow("four jobs, stopped") << 4 << false << 40 << 7;
}

void tst_Generation::namesInFlight()
{
    // The three lists and the observer's names are those of a generation
    // that looks the names up in turn, byte for byte; one stopped keeps the
    // old lists, its observer having seen the names up to the stop.
    QFETCH(int, jobs);
    QFETCH(bool, outOfOrder);
    QFETCH(int, names);
    QFETCH(int, stopAfter);
    Machine machine;
    std::string list;
    for (int i = 0; i < names; ++i) {
        // Found, not found, found and found in the windows directory.
        const std::string name = "n" + std::to_string(i) + ".so";
        if (i % 4 != 1)
            machine.files.put((i % 4 == 3 ? machine.windowsDirectory() : machine.systemDirectory()) + "\\" + name,
                std::string(static_cast<std::size_t>(i), 'x'), at(monday));
        list += name + "\r\n";
    }
    machine.writeText(machine.dataFile("dlls.txt"), list);
    // The last name of each batch is one found, whose digest lets go of
    // the name held for it.
    const auto nameOf = [](std::size_t i) { return "n" + std::to_string(i) + ".so"; };
    test::OutOfOrderFiles files(machine.files,
        outOfOrder ? test::heldAcrossBatches(std::size_t(names), nameOf) : std::map<std::string, std::string> {}, true);
    const Generated seen = generateWith(machine, files, jobs, stopAfter);
    const Generated inTurn = generateWith(machine, machine.files, 1, stopAfter);
    QCOMPARE(seen.references, inTurn.references);
    QCOMPARE(seen.notFound, inTurn.notFound);
    QCOMPARE(seen.digests, inTurn.digests);
    QCOMPARE(seen.observed, inTurn.observed);
    if (stopAfter > 0) {
        QCOMPARE(seen.observed.size(), std::size_t(stopAfter));
        QCOMPARE(seen.references, std::string("old"));
    } else {
        QVERIFY(seen.references.starts_with("\"n0.so\""));
        QCOMPARE(seen.observed.size(), std::size_t(names));
    }
}

QTEST_GUILESS_MAIN(tst_Generation)
#include "tst_generation.moc"
