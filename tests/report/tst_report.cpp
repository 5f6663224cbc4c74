#include "errors/ErrorState.h"
#include "platform/QtPrinter.h"
#include "report/ReportPrinting.h"
#include "tests/support/TestRuntime.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <optional>

using namespace deptest;
using deptest::test::FakeWindow;
using deptest::test::Machine;
using deptest::test::RecordingPrinter;
using deptest::test::TestRuntime;

namespace {

const std::string header = "Format: Filename, Size of file on target, size of original file, date of target file, date "
                           "of original, error\r\n";

std::string mismatchRecords(int count)
{
    std::string records;
    for (int i = 0; i < count; ++i)
        records += "\"name" + std::to_string(i) + ".so\"," + std::to_string(i)
            + ",7,\"Monday, December 7, 2026\",\"x\",\"Bad date or size\"\r\n";
    return records;
}

// A machine with an exceptions file, a window that lists missing files,
// and a printer that records.
class ReportFixture {
public:
    explicit ReportFixture(std::optional<std::string> exceptions)
    {
        if (exceptions)
            Machine::writeText(machine.dataFile("outdll.txt"), *exceptions);
        auto recording = std::make_unique<RecordingPrinter>();
        printer = recording.get();
        runtime.setPrinter(std::move(recording));
        window.missing = { "something - Could not match date/size" };
    }
    Machine machine;
    TestRuntime runtime { machine };
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
    void handlerPaths_data();
    void handlerPaths();
    void printerFailureCancelsTheDocument();
    void noDefaultPrinterIsAPrinterError();
    void printsToPdf();
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

void tst_Report::handlerPaths_data()
{
    QTest::addColumn<int>("setup"); // 0 file as given, 1 no file, 2 file is a directory, 3 empty lstMissing
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("documentsEnded");
    QTest::newRow("zero-length file: no message, nothing printed") << 0 << QByteArray() << "" << 1;
    QTest::newRow("deleted exceptions file") << 1 << QByteArray() << "Could not find OutDLL.txt" << 0;
    QTest::newRow("exceptions file replaced by a directory")
        << 2 << QByteArray() << "Error  75: Path/File access error" << 0;
    QTest::newRow("empty lstMissing decides, not the file")
        << 3 << QByteArray(header.c_str()) << "No missing files to report." << 0;
}

void tst_Report::handlerPaths()
{
    QFETCH(int, setup);
    QFETCH(QByteArray, contents);
    QFETCH(QString, message);
    QFETCH(int, documentsEnded);
    ReportFixture fixture(setup == 0 || setup == 3 ? std::optional(contents.toStdString()) : std::nullopt);
    if (setup == 2)
        QVERIFY(QDir().mkpath(QString::fromStdString(fixture.machine.dataFile("outdll.txt"))));
    if (setup == 3)
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

void tst_Report::printerFailureCancelsTheDocument()
{
    for (int failAt : { 1, 5, 20, 64 }) {
        ReportFixture fixture(header + mismatchRecords(10));
        fixture.printer->failAt = failAt;
        fixture.printer->failWith = error::printer;
        printReport(fixture.window, fixture.runtime);
        QCOMPARE(fixture.runtime.messages, std::vector<std::string> { "Error  482: Printer error" });
        QCOMPARE(fixture.printer->cancelled, 1);
        QVERIFY(fixture.printer->printed.empty());
        QCOMPARE(fixture.window.enabled, (std::array<bool, 3> { true, true, true }));
    }
}

void tst_Report::noDefaultPrinterIsAPrinterError()
{
    // main() points this process at a print server that does not exist.
    Machine machine;
    TestRuntime runtime(machine);
    Machine::writeText(machine.dataFile("outdll.txt"), header + mismatchRecords(1));
    FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { "Error  482: Printer error" });
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
}

void tst_Report::printsToPdf()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not installed");
    Machine machine;
    TestRuntime runtime(machine);
    const QString pdf = QString::fromStdString(machine.root() + "/report.pdf");
    runtime.setPrinter(QtPrinter::toPdf(pdf));
    std::string records = mismatchRecords(10);
    records += "\"" + std::string(300, 'L') + ".so\",1,2,\"a\",\"b\",\"" + std::string(200, 'E') + "\"\r\n";
    Machine::writeText(machine.dataFile("outdll.txt"), header + records);
    FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QVERIFY(runtime.messages.empty());

    QProcess info;
    info.start("pdfinfo", { pdf });
    QVERIFY(info.waitForFinished());
    const QByteArray details = info.readAllStandardOutput();
    QVERIFY2(QRegularExpression("Pages:\\s+2\n").match(QString::fromUtf8(details)).hasMatch(), details.constData());

    QProcess text;
    text.start("pdftotext", { "-layout", pdf, "-" });
    QVERIFY(text.waitForFinished());
    const QString printed = QString::fromUtf8(text.readAllStandardOutput());
    const QStringList pages = printed.split(QChar('\f'));
    QVERIFY(pages.size() >= 2);
    // pdftotext gives runs of spaces back as one.
    const auto block = [](int index) { return QRegularExpression(QStringLiteral("File:\\s+name%1\\.so").arg(index)); };
    QVERIFY(pages[0].contains(block(0)) && pages[0].contains(block(8)));
    QVERIFY(!pages[0].contains(block(9)));
    QVERIFY(pages[1].contains(block(9)));
    QVERIFY(pages[0].indexOf("name3.so") < pages[0].indexOf("name4.so"));
    QVERIFY(pages[0].contains(QRegularExpression("Target File Size:\\s+3")));
    QVERIFY(pages[0].contains(QRegularExpression("Original File Date:\\s+x")));
    // The overlong name and error wrap instead of running off the page.
    QCOMPARE(QString(pages[1]).remove(QRegularExpression("\\s")).count('L'), 300);
    QCOMPARE(QString(pages[1]).remove(QRegularExpression("\\s")).count('E'), 200 + 2); // and two "Error:" labels
}

int main(int argc, char* argv[])
{
    // No print server here: the default printer is looked up and not found.
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    QApplication application(argc, argv);
    tst_Report test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_report.moc"
