#include "system/posix/DirectoryNames.h"
#include "system/posix/PosixFiles.h"
#include "tests/support/Requirement.h"

#include <QDeadlineTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace deptest;

namespace {

void makeFile(const std::string& path) { std::ofstream(path, std::ios::binary) << "x"; }

timespec changeTimeOf(const std::string& directory)
{
    struct stat status { };
    ::stat(directory.c_str(), &status);
    return status.st_ctim;
}

// Until the coarse clock has left the tick of the directory's last change,
// names read there are not used. Fails when the clock does not move on.
bool waitUntilChangeIsPast(const std::string& directory)
{
    const timespec changed = changeTimeOf(directory);
    QDeadlineTimer deadline(10'000);
    for (;;) {
        timespec now {};
        ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
        if (now.tv_sec > changed.tv_sec || (now.tv_sec == changed.tv_sec && now.tv_nsec > changed.tv_nsec))
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::yieldCurrentThread();
    }
}

// An answer may rest on the directory's change time until the freshness
// clock moves on: waits until it has moved on from `from`. Fails when it
// does not.
bool waitForNextTick(const timespec& from)
{
    QDeadlineTimer deadline(10'000);
    for (;;) {
        timespec now {};
        ::clock_gettime(DirectoryNames::freshnessClock, &now);
        if (now.tv_sec != from.tv_sec || now.tv_nsec != from.tv_nsec)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::yieldCurrentThread();
    }
}

timespec freshnessNow()
{
    timespec now {};
    ::clock_gettime(DirectoryNames::freshnessClock, &now);
    return now;
}

// Misses until the directory's names are in use; false when they never are
// (a file system whose names are not read).
bool missUntilListed(DirectoryNames& names, int handle)
{
    for (int miss = 0; miss < 100'000 && !names.inUse(); ++miss)
        names.noteMiss(handle);
    return names.inUse();
}

} // namespace

class tst_DirectoryNames : public QObject {
    Q_OBJECT

private slots:
    void answersAsALookupWould();
    void searchAnswersStayTheSame_data();
    void searchAnswersStayTheSame();
    void severalThreadsGetTheSameAnswers();
};

// "Certainly absent" only for a name the directory does not hold, as
// written; never for a path below it; never once the directory changed.
void tst_DirectoryNames::answersAsALookupWould()
{
    QTemporaryDir temporary;
    const std::string directory = temporary.path().toStdString();
    makeFile(directory + "/present.so");
    makeFile(directory + "/Mixed.DLL");
    QVERIFY(::mkdir((directory + "/sub").c_str(), 0755) == 0);
    const int handle = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    QVERIFY(handle >= 0);
    DirectoryNames names;
    QVERIFY(!names.certainlyAbsent(handle, "absent.so")); // nothing read yet
    QVERIFY2(waitUntilChangeIsPast(directory), "the coarse clock did not move on within 10 s");
    if (!missUntilListed(names, handle)) {
        ::close(handle);
        SKIP_UNLESS_REQUIRED("this file system's names are not read");
    }
    QVERIFY(!names.certainlyAbsent(handle, "present.so"));
    QVERIFY(!names.certainlyAbsent(handle, "Mixed.DLL"));
    QVERIFY(!names.certainlyAbsent(handle, "sub"));
    QVERIFY(!names.certainlyAbsent(handle, "sub/absent.so")); // below: left to a lookup
    QVERIFY(names.certainlyAbsent(handle, "absent.so"));
    QVERIFY(names.certainlyAbsent(handle, "mixed.dll")); // found only as written here
    QVERIFY(names.certainlyAbsent(handle, "present.so "));

    const timespec added = freshnessNow();
    makeFile(directory + "/absent.so");
    QVERIFY2(waitForNextTick(added), "the coarse clock did not move on within 10 s");
    QVERIFY(!names.certainlyAbsent(handle, "absent.so"));
    QVERIFY(!names.inUse());
    ::close(handle);
}

void tst_DirectoryNames::searchAnswersStayTheSame_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expected"); // 0: found; otherwise the error number

    QTest::newRow("held") << "held.so" << 0;
    QTest::newRow("not held") << "other.so" << 53;
    QTest::newRow("other case") << "HELD.SO" << 53;
    QTest::newRow("in a folder there") << "folder/inner.so" << 0;
    QTest::newRow("missing in a folder there") << "folder/other.so" << 53;
    QTest::newRow("in a folder not there") << "nofolder/inner.so" << 76;
    QTest::newRow("backslashes") << "folder\\inner.so" << 0;
    QTest::newRow("added after the misses") << "added.so" << 0;
}

// The searched directory is asked for many names it lacks first, as a
// search asks the system directory, so that its names answer, and then for
// the row's name.
void tst_DirectoryNames::searchAnswersStayTheSame()
{
    QFETCH(QString, name);
    QFETCH(int, expected);
    QTemporaryDir temporary;
    const std::string directory = temporary.path().toStdString() + "/";
    makeFile(directory + "held.so");
    QVERIFY(::mkdir((directory + "folder").c_str(), 0755) == 0);
    makeFile(directory + "folder/inner.so");
    QVERIFY2(waitUntilChangeIsPast(directory), "the coarse clock did not move on within 10 s");
    PosixFiles files;
    for (int i = 0; i < 4 * DirectoryNames::firstReadAfter; ++i)
        QCOMPARE(files.measureIn(directory, "missing" + std::to_string(i) + ".so").error().number, 53);
    QVERIFY2(files.namesInUse(directory), "the directory's names were never read");
    if (name == "added.so") {
        const timespec added = freshnessNow();
        makeFile(directory + "added.so");
        QVERIFY2(waitForNextTick(added), "the coarse clock did not move on within 10 s");
    }

    const Result<FileMeasurement> measured = files.measureIn(directory, name.toStdString());
    QCOMPARE(measured ? 0 : measured.error().number, expected);
    if (measured)
        QCOMPARE(measured->size, std::int64_t { 1 });
}

// Threads asking at once, as the lookups of a run do: each gets the
// answer a lookup would give, while the names are read, used, and dropped
// for a file added meanwhile.
void tst_DirectoryNames::severalThreadsGetTheSameAnswers()
{
    QTemporaryDir temporary;
    const std::string directory = temporary.path().toStdString() + "/";
    makeFile(directory + "held.so");
    QVERIFY2(waitUntilChangeIsPast(directory), "the coarse clock did not move on within 10 s");
    PosixFiles files;
    std::atomic<int> wrong { 0 };
    std::atomic<bool> added { false };
    const auto ask = [&](int thread) {
        for (int i = 0; i < 2000; ++i) {
            const bool addedBefore = added.load();
            const auto held = files.measureIn(directory, "held.so");
            const auto missing = files.measureIn(directory, "missing" + std::to_string(thread * 2000 + i) + ".so");
            const auto late = files.measureIn(directory, "added.so");
            if (!held || missing || missing.error().number != 53 || (addedBefore && !late))
                ++wrong;
        }
    };
    {
        std::vector<std::jthread> threads;
        for (int thread = 0; thread < 4; ++thread)
            threads.emplace_back(ask, thread);
    }
    QVERIFY2(files.namesInUse(directory), "the directory's names were never read");
    const timespec before = freshnessNow();
    makeFile(directory + "added.so");
    QVERIFY2(waitForNextTick(before), "the coarse clock did not move on within 10 s");
    added = true;
    {
        std::vector<std::jthread> threads;
        for (int thread = 4; thread < 8; ++thread)
            threads.emplace_back(ask, thread);
    }
    QCOMPARE(wrong.load(), 0);
}

QTEST_GUILESS_MAIN(tst_DirectoryNames)
#include "tst_directorynames.moc"
