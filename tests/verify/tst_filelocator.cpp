#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/MemoryFiles.h"
#include "verify/FileLocator.h"
#include "verify/OrderedLookups.h"

#include <QTest>

#include <map>
#include <set>

using namespace deptest;
using deptest::test::FakeRuntime;
using deptest::test::MemoryFiles;

class tst_FileLocator : public QObject {
    Q_OBJECT
private slots:
    void search_data();
    void search();
    void lookupJobs_data();
    void lookupJobs();
};

void tst_FileLocator::search_data()
{
    // Where copies of "a.so" exist, with sizes 1 (system), 2 (windows), 3
    // (application); the directories that lack the name's folder; what is
    // pending before the search; the expected result.
    QTest::addColumn<QString>("present");
    QTest::addColumn<QString>("lacking");
    QTest::addColumn<int>("pendingBefore");
    QTest::addColumn<bool>("applicationOnly");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("lastDirectory");
    QTest::addColumn<qint64>("size");

    QTest::newRow("system beats windows") << "sw"
                                          << "" << 0 << false << 0 << "system" << qint64(1);
    QTest::newRow("windows after one not-found") << "wa"
                                                 << "" << 0 << false << 0 << "windows" << qint64(2);
    QTest::newRow("application after two not-founds") << "a"
                                                      << "" << 0 << false << 0 << "app" << qint64(3);
    QTest::newRow("nowhere leaves 53 and the application path") << ""
                                                                << "" << 0 << false << 53 << "app" << qint64(-1);
    QTest::newRow("a directory without the folder holds no file: on to the next")
        << "wa"
        << "s" << 0 << false << 0 << "windows" << qint64(2);
    QTest::newRow("only the application directory has the folder") << "a"
                                                                   << "sw" << 0 << false << 0 << "app" << qint64(3);
    QTest::newRow("folder in one directory, file nowhere: 53") << ""
                                                               << "sa" << 0 << false << 53 << "app" << qint64(-1);
    QTest::newRow("no directory has the folder: 76") << ""
                                                     << "swa" << 0 << false << 76 << "app" << qint64(-1);
    QTest::newRow("application only ignores the system directory") << "s"
                                                                   << "" << 0 << true << 53 << "app" << qint64(-1);
    QTest::newRow("application only finds its own") << "sa"
                                                    << "" << 0 << true << 0 << "app" << qint64(3);
    QTest::newRow("pending 53 moves on despite a find") << "sw"
                                                        << "" << 53 << false << 0 << "windows" << qint64(2);
    QTest::newRow("pending other error ends the search") << "sw"
                                                         << "" << 62 << false << 62 << "system" << qint64(1);
}

void tst_FileLocator::search()
{
    QFETCH(QString, present);
    QFETCH(QString, lacking);
    QFETCH(int, pendingBefore);
    QFETCH(bool, applicationOnly);
    QFETCH(int, error);
    QFETCH(QString, lastDirectory);
    QFETCH(qint64, size);

    const std::string application = "d:\\app";
    // The name has a folder, "lib"; a directory that lacks it holds no copy.
    const std::map<QChar, std::string> directory { { 's', "c:\\windows\\system\\lib\\" }, { 'w', "c:\\windows\\lib\\" },
        { 'a', application + "\\lib\\" } };
    MemoryFiles files;
    const FileTime when { 2025, 5, 1, 12, 0, 0 };
    for (const auto& [which, folder] : directory) {
        if (!lacking.contains(which))
            files.addDirectory(folder);
        if (present.contains(which))
            files.putSized(folder + "a.so", QString("swa").indexOf(which) + 1, when);
    }

    FakeRuntime runtime(application, files);
    const Outcome before = pendingBefore != 0 ? Outcome { Error::of(pendingBefore) } : Outcome {};
    // A search reused from an entry found elsewhere must not keep its answer.
    Located found;
    found.location = { "c:\\elsewhere\\a.so", FileMeasurement { 99, when } };
    found.outcome = Error::of(error::deviceIo);
    locateFile(
        runtime, "lib\\a.so", applicationOnly ? SearchMode::ApplicationDirectoryOnly : SearchMode::Full, before, found);
    const auto& [location, outcome] = found;

    QCOMPARE(outcome ? outcome->number : error::none, error);
    QCOMPARE(qint64(location.measurement ? location.measurement->size : -1), size);
    const std::map<QString, std::string> literal { { "system", directory.at('s') + "a.so" },
        { "windows", directory.at('w') + "a.so" }, { "app", directory.at('a') + "a.so" } };
    QCOMPARE(location.path, literal.at(lastDirectory));
}

void tst_FileLocator::lookupJobs_data()
{
    // Directories on a share: s, w, a (system, windows, application).
    QTest::addColumn<QString>("remote");
    QTest::addColumn<unsigned>("processors");
    QTest::addColumn<int>("jobs");
    QTest::newRow("local, two processors") << "" << 2U << 2;
    QTest::newRow("local, one processor: still two") << "" << 1U << 2;
    QTest::newRow("local, processors unknown") << "" << 0U << 2;
    QTest::newRow("local, eight processors") << "" << 8U << 8;
    QTest::newRow("local, many processors: no more than on a share") << "" << 96U << remoteLookupJobs;
    QTest::newRow("application directory on a share") << "a" << 2U << remoteLookupJobs;
    QTest::newRow("system directory on a share") << "s" << 1U << remoteLookupJobs;
    QTest::newRow("windows directory on a share") << "w" << 4U << remoteLookupJobs;
}

void tst_FileLocator::lookupJobs()
{
    QFETCH(QString, remote);
    QFETCH(unsigned, processors);
    QFETCH(int, jobs);

    // The runtime is asked about the directories by the names the search
    // uses for them.
    class SharedRuntime : public FakeRuntime {
    public:
        using FakeRuntime::FakeRuntime;
        std::set<std::string> shared;
        bool isRemoteDirectory(std::string_view directory) override { return shared.contains(std::string(directory)); }
    };
    MemoryFiles files;
    SharedRuntime runtime("d:\\app", files);
    const std::map<QChar, std::string> directory { { 's', "c:\\windows\\system\\" }, { 'w', "c:\\windows\\" },
        { 'a', "d:\\app" } };
    for (const QChar which : remote)
        runtime.shared.insert(directory.at(which));

    QCOMPARE(chooseLookupJobs(runtime, processors), jobs);
}

QTEST_GUILESS_MAIN(tst_FileLocator)
#include "tst_filelocator.moc"
