#include "report/ReportPrinting.h"
#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/MemoryFiles.h"

#include <QTest>

#include <optional>

using namespace deptest;
using deptest::test::FakeRuntime;
using deptest::test::FakeWindow;
using deptest::test::MemoryFiles;
using deptest::test::mismatchRecords;
using deptest::test::RecordingPrinter;

namespace {

const std::string header = test::exceptionsHeaderLine();

// Files in memory with an exceptions file, a window that lists missing files,
// and a printer that records.
class ReportFixture {
public:
    explicit ReportFixture(std::optional<std::string> exceptions)
    {
        if (exceptions)
            files.put(exceptionsPath, *exceptions);
        files.addDirectory("d:\\app\\");
        auto recording = std::make_unique<RecordingPrinter>();
        printer = recording.get();
        runtime.setPrinter(std::move(recording));
        window.missing = { "something - Could not match date/size" };
    }
    const std::string exceptionsPath = "d:\\app\\outdll.txt";
    MemoryFiles files;
    FakeRuntime runtime { "d:\\app", files };
    FakeWindow window;
    RecordingPrinter* printer { nullptr };
};

std::vector<int> blocksPerPage(const std::vector<std::vector<RecordingPrinter::Line>>& document)
{
    std::vector<int> blocks;
    for (const auto& page : document)
        blocks.push_back(static_cast<int>(page.size() / 7));
    return blocks;
}

QString lineText(const RecordingPrinter::Line& line)
{
    QStringList pieces;
    for (const auto& [column, text] : line)
        pieces << QStringLiteral("%1:%2").arg(column).arg(QString::fromStdString(text));
    return pieces.join(' ');
}

} // namespace

class tst_Report : public QObject {
    Q_OBJECT
private slots:
    void pagination_data();
    void pagination();
    void blockLayout();
    void mixedRecordsStayAligned();
    void recordsWithLineEndsPrintWhole();
    void handlerPaths_data();
    void handlerPaths();
    void printerFailureCancelsTheDocument_data();
    void printerFailureCancelsTheDocument();
};

void tst_Report::pagination_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<std::vector<int>>("pages");
    QTest::newRow("ten records: nine, then one") << 10 << std::vector<int> { 9, 1 };
    QTest::newRow("nine records: one page, no empty one") << 9 << std::vector<int> { 9 };
    QTest::newRow("eighteen records: two full pages") << 18 << std::vector<int> { 9, 9 };
    QTest::newRow("one record") << 1 << std::vector<int> { 1 };
    QTest::newRow("first line only") << 0 << std::vector<int> {};
}

void tst_Report::pagination()
{
    QFETCH(int, records);
    QFETCH(std::vector<int>, pages);
    ReportFixture fixture(header + mismatchRecords(records));
    printReport(fixture.window, fixture.runtime);
    QVERIFY(fixture.runtime.messages.empty());
    QCOMPARE(fixture.printer->ended, 1);
    QCOMPARE(fixture.printer->printed.size(), std::size_t { 1 });
    QCOMPARE(blocksPerPage(fixture.printer->printed.front()), pages);
    QCOMPARE(
        fixture.window.gating, (std::vector<std::string> { "Test-", "Print-", "Exit-", "Test+", "Print+", "Exit+" }));
}

void tst_Report::blockLayout()
{
    ReportFixture fixture(header
        + "\"a, b.so\",12,10,\"Tuesday, December 8, 2026\",\"Monday, December 7, 2026\",\"Bad date or size\"\r\n");
    printReport(fixture.window, fixture.runtime);
    QCOMPARE(fixture.printer->printed.size(), std::size_t { 1 });
    const auto& page = fixture.printer->printed.front().front();
    QStringList text;
    for (const auto& line : page)
        text << lineText(line);
    QCOMPARE(text,
        (QStringList { "1:File:  a, b.so", "10:Target File Size: 30:12", "10:Original File Size: 30:10",
            "10:Target File Date: 30:Tuesday, December 8, 2026", "10:Original File Date: 30:Monday, December 7, 2026",
            "10:Error:  Bad date or size", "" }));
}

void tst_Report::mixedRecordsStayAligned()
{
    ReportFixture fixture(header
        + "\"gone.so\",7,\"Monday, December 7, 2026\",\"File not found\"\r\n"
          "\"bad.so\",12,10,\"Tuesday, December 8, 2026\",\"Monday, December 7, 2026\",\"Bad date or size\"\r\n"
          "\r\n"
          "\"cut.so\",5");
    printReport(fixture.window, fixture.runtime);
    const auto& page = fixture.printer->printed.front().front();
    QCOMPARE(page.size(), std::size_t { 21 });
    const auto value = [&page](std::size_t line) { return lineText(page[line]); };
    QCOMPARE(value(0), QStringLiteral("1:File:  gone.so"));
    QCOMPARE(value(1), QStringLiteral("10:Target File Size: 30:"));
    QCOMPARE(value(2), QStringLiteral("10:Original File Size: 30:7"));
    QCOMPARE(value(3), QStringLiteral("10:Target File Date: 30:"));
    QCOMPARE(value(4), QStringLiteral("10:Original File Date: 30:Monday, December 7, 2026"));
    QCOMPARE(value(5), QStringLiteral("10:Error:  File not found"));
    QCOMPARE(value(7), QStringLiteral("1:File:  bad.so"));
    QCOMPARE(value(8), QStringLiteral("10:Target File Size: 30:12"));
    QCOMPARE(value(12), QStringLiteral("10:Error:  Bad date or size"));
    QCOMPARE(value(14), QStringLiteral("1:File:  cut.so"));
    QCOMPARE(value(16), QStringLiteral("10:Original File Size: 30:5"));
    QCOMPARE(value(18), QStringLiteral("10:Original File Date: 30:"));
    QCOMPARE(value(19), QStringLiteral("10:Error:  "));
}

void tst_Report::recordsWithLineEndsPrintWhole()
{
    // A name whose quote never closed in the reference list ran across
    // line ends, and the exceptions file holds it so: still one block.
    ReportFixture fixture(header
        + "\"broken,\r\nname.so\r\n\",7,\"Monday, December 7, 2026\",\"File not found\"\r\n"
          "\"bad.so\",12,10,\"Tuesday, December 8, 2026\",\"Monday, December 7, 2026\",\"Bad date or size\"\r\n");
    printReport(fixture.window, fixture.runtime);
    QVERIFY(fixture.runtime.messages.empty());
    const auto& page = fixture.printer->printed.front().front();
    QCOMPARE(page.size(), std::size_t { 14 });
    QCOMPARE(lineText(page[0]), QStringLiteral("1:File:  broken,\r\nname.so\r\n"));
    QCOMPARE(lineText(page[2]), QStringLiteral("10:Original File Size: 30:7"));
    QCOMPARE(lineText(page[5]), QStringLiteral("10:Error:  File not found"));
    QCOMPARE(lineText(page[7]), QStringLiteral("1:File:  bad.so"));
    QCOMPARE(lineText(page[12]), QStringLiteral("10:Error:  Bad date or size"));
}

void tst_Report::handlerPaths_data()
{
    // What the exceptions file is ("file", "none", "directory") and whether
    // lstMissing lists anything.
    QTest::addColumn<QString>("exceptions");
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("missingListed");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("documentsEnded");
    QTest::newRow("zero-length file: no message, nothing printed") << "file" << QByteArray() << true << "" << 1;
    QTest::newRow("deleted exceptions file") << "none" << QByteArray() << true << "Could not find OutDLL.txt" << 0;
    QTest::newRow("exceptions file replaced by a directory")
        << "directory" << QByteArray() << true << "Error  75: Path/File access error" << 0;
    QTest::newRow("empty lstMissing decides, not the file")
        << "file" << QByteArray(header.c_str()) << false << "No missing files to report." << 0;
}

void tst_Report::handlerPaths()
{
    QFETCH(QString, exceptions);
    QFETCH(QByteArray, contents);
    QFETCH(bool, missingListed);
    QFETCH(QString, message);
    QFETCH(int, documentsEnded);
    ReportFixture fixture(exceptions == "file" ? std::optional(contents.toStdString()) : std::nullopt);
    if (exceptions == "directory")
        fixture.files.putDirectory(fixture.exceptionsPath);
    if (!missingListed)
        fixture.window.missing.clear();
    printReport(fixture.window, fixture.runtime);
    QStringList shown;
    for (const std::string& text : fixture.runtime.messages)
        shown << QString::fromStdString(text);
    QCOMPARE(shown.join('|'), message);
    QCOMPARE(fixture.printer->ended, documentsEnded);
    for (const auto& document : fixture.printer->printed)
        QVERIFY(document.empty());
    QCOMPARE(fixture.window.enabled, (std::array<bool, 3> { true, true, true }));
}

void tst_Report::printerFailureCancelsTheDocument_data()
{
    // Ten records make 70 lines, a new page and the end of the document.
    QTest::addColumn<int>("failAt");
    QTest::newRow("first line") << 1;
    QTest::newRow("inside the first block") << 5;
    QTest::newRow("inside the third block") << 20;
    QTest::newRow("the new page") << 64;
    QTest::newRow("ending the document") << 72;
}

void tst_Report::printerFailureCancelsTheDocument()
{
    QFETCH(int, failAt);
    ReportFixture fixture(header + mismatchRecords(10));
    fixture.printer->failAt = failAt;
    fixture.printer->failWith = error::printer;
    printReport(fixture.window, fixture.runtime);
    QCOMPARE(fixture.runtime.messages, std::vector<std::string> { "Error  482: Printer error" });
    QCOMPARE(fixture.printer->cancelled, 1);
    QVERIFY(fixture.printer->printed.empty());
    QCOMPARE(fixture.window.enabled, (std::array<bool, 3> { true, true, true }));
}

QTEST_GUILESS_MAIN(tst_Report)
#include "tst_report.moc"
