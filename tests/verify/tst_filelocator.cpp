#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/MemoryFiles.h"
#include "verify/FileLocator.h"

#include <QTest>

#include <map>

using namespace deptest;
using deptest::test::FakeRuntime;
using deptest::test::MemoryFiles;

class tst_FileLocator : public QObject {
    Q_OBJECT
private slots:
    void search_data();
    void search();
};

void tst_FileLocator::search_data()
{
    // Where copies of "a.so" exist, with sizes 1 (system), 2 (windows), 3
    // (application); what is pending before the search; the expected result.
    QTest::addColumn<QString>("present");
    QTest::addColumn<bool>("systemDirectoryMissing");
    QTest::addColumn<int>("pendingBefore");
    QTest::addColumn<bool>("applicationOnly");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("lastDirectory");
    QTest::addColumn<qint64>("size");

    QTest::newRow("system beats windows") << "sw" << false << 0 << false << 0 << "system" << qint64(1);
    QTest::newRow("windows after one not-found") << "wa" << false << 0 << false << 0 << "windows" << qint64(2);
    QTest::newRow("application after two not-founds") << "a" << false << 0 << false << 0 << "app" << qint64(3);
    QTest::newRow("nowhere leaves 53 and the application path")
        << "" << false << 0 << false << 53 << "app" << qint64(-1);
    QTest::newRow("missing system directory stops the search")
        << "wa" << true << 0 << false << 76 << "system" << qint64(-1);
    QTest::newRow("application only ignores the system directory")
        << "s" << false << 0 << true << 53 << "app" << qint64(-1);
    QTest::newRow("application only finds its own") << "sa" << false << 0 << true << 0 << "app" << qint64(3);
    QTest::newRow("pending 53 moves on despite a find") << "sw" << false << 53 << false << 0 << "windows" << qint64(2);
    QTest::newRow("pending other error ends the search") << "sw" << false << 62 << false << 62 << "system" << qint64(1);
}

void tst_FileLocator::search()
{
    QFETCH(QString, present);
    QFETCH(bool, systemDirectoryMissing);
    QFETCH(int, pendingBefore);
    QFETCH(bool, applicationOnly);
    QFETCH(int, error);
    QFETCH(QString, lastDirectory);
    QFETCH(qint64, size);

    const std::string application = "d:\\app";
    MemoryFiles files;
    if (!systemDirectoryMissing)
        files.addDirectory("c:\\windows\\system\\");
    files.addDirectory("c:\\windows\\");
    files.addDirectory(application + "\\");
    const FileTime when { 2025, 5, 1, 12, 0, 0 };
    if (present.contains('s'))
        files.putSized("c:\\windows\\system\\a.so", 1, when);
    if (present.contains('w'))
        files.putSized("c:\\windows\\a.so", 2, when);
    if (present.contains('a'))
        files.putSized(application + "\\a.so", 3, when);

    FakeRuntime runtime(application, files);
    const Outcome before = pendingBefore != 0 ? Outcome { Error::of(pendingBefore) } : Outcome {};
    // A search reused from an entry found elsewhere must not keep its answer.
    Located found;
    found.location = { "c:\\elsewhere\\a.so", FileMeasurement { 99, when } };
    found.outcome = Error::of(error::deviceIo);
    locateFile(
        runtime, "a.so", applicationOnly ? SearchMode::ApplicationDirectoryOnly : SearchMode::Full, before, found);
    const auto& [location, outcome] = found;

    QCOMPARE(outcome ? outcome->number : error::none, error);
    QCOMPARE(qint64(location.measurement ? location.measurement->size : -1), size);
    const std::map<QString, std::string> literal { { "system", "c:\\windows\\system\\a.so" },
        { "windows", "c:\\windows\\a.so" }, { "app", application + "\\a.so" } };
    QCOMPARE(location.path, literal.at(lastDirectory));
}

QTEST_GUILESS_MAIN(tst_FileLocator)
#include "tst_filelocator.moc"
