#include "errors/ErrorState.h"
#include "platform/Files.h"
#include "platform/HostDirectories.h"
#include "platform/LeadingNumber.h"
#include "records/RecordWriter.h"
#include "tests/support/FileSizeLimit.h"
#include "tests/support/TestRuntime.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace deptest;
using deptest::test::Machine;
using deptest::test::TestRuntime;

class tst_Platform : public QObject {
    Q_OBJECT
private slots:
    void leadingNumber_data();
    void leadingNumber();
    void hostPaths_data();
    void hostPaths();
    void fileErrors_data();
    void fileErrors();
    void sizeBeyondTwoGigabytes();
    void fileTimeIsLocalTime();
    void fullDiskKeepsCompleteLines();
    void longDateOfText_data();
    void longDateOfText();
    void longDateOfFileTime();
};

void tst_Platform::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<int>("error");
    QTest::newRow("digits") << "123" << qint64(123) << 0;
    QTest::newRow("blanks, sign and trailing text") << "  -42abc" << qint64(-42) << 0;
    QTest::newRow("plus sign") << "+7" << qint64(7) << 0;
    QTest::newRow("half rounds to even, down") << "2.5" << qint64(2) << 0;
    QTest::newRow("half rounds to even, up") << "3.5" << qint64(4) << 0;
    QTest::newRow("negative half") << "-2.5" << qint64(-2) << 0;
    QTest::newRow("exponent") << "1.5e1x" << qint64(15) << 0;
    QTest::newRow("e without digits is text") << "12e" << qint64(12) << 0;
    QTest::newRow("fraction only") << ".75" << qint64(1) << 0;
    QTest::newRow("no number") << "abc" << qint64(0) << 0;
    QTest::newRow("empty") << "" << qint64(0) << 0;
    QTest::newRow("sign alone") << "-" << qint64(0) << 0;
    QTest::newRow("beyond 32 bits") << "5000000000" << qint64(5000000000) << 0;
    QTest::newRow("largest 64-bit") << "9223372036854775807" << qint64(INT64_MAX) << 0;
    QTest::newRow("beyond 64 bits overflows") << "99999999999999999999" << qint64(-1) << 6;
    QTest::newRow("huge exponent overflows") << "1e30" << qint64(-1) << 6;
}

void tst_Platform::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    QFETCH(int, error);
    std::int64_t value = -1; // stays when the conversion raises
    ErrorState state;
    deptest::leadingNumber(text.toStdString(), value, state);
    QCOMPARE(state.number(), error);
    QCOMPARE(qint64(value), expected);
}

void tst_Platform::hostPaths_data()
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

void tst_Platform::hostPaths()
{
    QFETCH(QString, path);
    QFETCH(QString, expected);
    const HostDirectories directories { "/sys/", "/win/" };
    QCOMPARE(QString::fromStdString(toHostPath(path.toStdString(), directories)), expected);
}

void tst_Platform::fileErrors_data()
{
    QTest::addColumn<QString>("leaf");
    QTest::addColumn<int>("sizeError");
    QTest::addColumn<int>("readError");
    QTest::newRow("missing file") << "nothing.so" << 53 << 53;
    QTest::newRow("missing directory") << "nodir\\nothing.so" << 76 << 76;
    QTest::newRow("directory is not a file") << "adir" << 53 << 75;
    QTest::newRow("path through a regular file") << "plain\\inside" << 76 << 76;
}

void tst_Platform::fileErrors()
{
    QFETCH(QString, leaf);
    QFETCH(int, sizeError);
    QFETCH(int, readError);
    Machine machine;
    TestRuntime runtime(machine);
    QDir(QString::fromStdString(machine.applicationDirectory())).mkdir(QStringLiteral("adir"));
    Machine::writeText(machine.dataFile("plain"), "x");
    const std::string path = runtime.applicationDirectory() + "\\" + leaf.toStdString();

    ErrorState state;
    std::int64_t size = 99;
    runtime.fileSize(path, size, state);
    QCOMPARE(state.number(), sizeError);
    QCOMPARE(size, std::int64_t { 99 });

    ErrorState reading;
    QVERIFY(!runtime.openForReading(path, reading));
    QCOMPARE(reading.number(), readError);
}

void tst_Platform::sizeBeyondTwoGigabytes()
{
    Machine machine;
    TestRuntime runtime(machine);
    QFile file(QString::fromStdString(machine.dataFile("big.bin")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.resize(qint64(3) << 30)); // sparse: takes no disk space
    file.close();
    ErrorState state;
    std::int64_t size = 0;
    runtime.fileSize(runtime.applicationDirectory() + "\\big.bin", size, state);
    QVERIFY(!state.pending());
    QCOMPARE(size, std::int64_t { 3 } << 30);
}

void tst_Platform::fileTimeIsLocalTime()
{
    Machine machine;
    TestRuntime runtime(machine);
    const QDateTime when(QDate(2024, 2, 29), QTime(23, 59, 58));
    Machine::makeFile(machine.dataFile("a.so"), 1, when);
    FileTime time;
    ErrorState state;
    runtime.fileTime(runtime.applicationDirectory() + "\\a.so", time, state);
    QVERIFY(!state.pending());
    QCOMPARE(time, (FileTime { 2024, 2, 29, 23, 59, 58 }));
}

void tst_Platform::fullDiskKeepsCompleteLines()
{
    Machine machine;
    TestRuntime runtime(machine);
    ErrorState state;
    auto file = runtime.openForWriting(runtime.applicationDirectory() + "\\full.txt", state);
    QVERIFY(file);
    {
        test::FileSizeLimit full(100'000);
        RecordWriter writer(*file);
        const std::string name(40, 'n');
        for (int record = 0; record < 5000 && !state.pending(); ++record)
            writer.writeRecord({ name, std::int64_t { record } }, state);
        ErrorState closing;
        file->close(closing);
    }

    QCOMPARE(QString::fromStdString(generalErrorMessage(state)), QStringLiteral("Error  61: Disk full"));
    const std::string written = Machine::readText(machine.dataFile("full.txt"));
    QVERIFY(!written.empty());
    QVERIFY(written.size() <= 100'000);
    QVERIFY2(written.ends_with("\r\n"), "the file ends in a torn line");
}

void tst_Platform::longDateOfText_data()
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

void tst_Platform::longDateOfText()
{
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    Machine machine;
    TestRuntime runtime(machine, QLocale(locale));
    std::string rendered = "old";
    ErrorState state;
    runtime.longDate(text.toStdString(), rendered, state);
    QVERIFY(!state.pending());
    QCOMPARE(QString::fromStdString(rendered), expected);
    // The same text again comes from the cache and must agree.
    runtime.longDate(text.toStdString(), rendered, state);
    QCOMPARE(QString::fromStdString(rendered), expected);
}

void tst_Platform::longDateOfFileTime()
{
    Machine machine;
    TestRuntime runtime(machine);
    std::string text = "old";
    ErrorState state;
    runtime.longDate(FileTime { 2026, 12, 7, 23, 59, 0 }, text, state);
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Monday, December 7, 2026"));
    runtime.longDate(FileTime { 2026, 13, 40, 0, 0, 0 }, text, state);
    QCOMPARE(state.number(), error::invalidArgument);
    QCOMPARE(QString::fromStdString(text), QStringLiteral("Monday, December 7, 2026"));
}

QTEST_GUILESS_MAIN(tst_Platform)
#include "tst_platform.moc"
