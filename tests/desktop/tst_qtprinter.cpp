#include "desktop/QtPrinter.h"
#include "report/ReportPrinting.h"
#include "tests/support/Requirement.h"
#include "tests/support/TestRuntime.h"

#include <QApplication>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

using namespace deptest;
using deptest::test::FakeWindow;
using deptest::test::Machine;
using deptest::test::TestRuntime;

namespace {

// Prints the exception records in DejaVu Sans at the desktop size to a PDF
// on the paper; the PDF's path, empty when the report failed.
QString printInFont(
    const Machine& machine, const QString& name, qreal pointSize, const QPageSize& paper, const std::string& records)
{
    const QFont desktop = QApplication::font();
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(pointSize);
    QApplication::setFont(font);
    TestRuntime runtime(machine);
    const QString pdf = QString::fromStdString(machine.root()) + "/" + name;
    runtime.setPrinter(QtPrinter::toPdf(pdf, paper));
    Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + records);
    FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QApplication::setFont(desktop);
    return runtime.messages.empty() ? pdf : QString();
}

// The text of each page of the PDF, laid out as printed.
QStringList pagesOf(const QString& pdf)
{
    QProcess text;
    text.start("pdftotext", { "-layout", pdf, "-" });
    if (!text.waitForFinished() || text.exitCode() != 0)
        return { "pdftotext failed" };
    return QString::fromUtf8(text.readAllStandardOutput()).split(QChar('\f'), Qt::SkipEmptyParts);
}

// The height of the first "File:" on the PDF's first page, in points: it
// grows with the point size the report was printed at.
qreal heightOfFirstLabel(const QString& pdf)
{
    QProcess boxes;
    boxes.start("pdftotext", { "-bbox", "-f", "1", "-l", "1", pdf, "-" });
    if (!boxes.waitForFinished())
        return 0;
    const QRegularExpression word(QStringLiteral("yMin=\"([0-9.]+)\"[^>]*yMax=\"([0-9.]+)\">File:<"));
    const QRegularExpressionMatch match = word.match(QString::fromUtf8(boxes.readAllStandardOutput()));
    return match.hasMatch() ? match.captured(2).toDouble() - match.captured(1).toDouble() : 0;
}

} // namespace

class tst_QtPrinter : public QObject {
    Q_OBJECT
private slots:
    void noDefaultPrinterIsAPrinterError();
    void printsToPdf();
    void nineBlocksToAPageInAnyFont_data();
    void nineBlocksToAPageInAnyFont();
    void aWrappedNameStaysInItsBlock_data();
    void aWrappedNameStaysInItsBlock();
};

void tst_QtPrinter::noDefaultPrinterIsAPrinterError()
{
    // main() points this process at a print server that does not exist.
    Machine machine;
    TestRuntime runtime(machine);
    runtime.setPrinter(std::make_unique<QtPrinter>());
    Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + test::mismatchRecords(1));
    FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    // The printing system's own reason follows the number.
    QCOMPARE(runtime.messages.size(), std::size_t { 1 });
    QVERIFY2(runtime.messages.front().starts_with("Error  482: "), runtime.messages.front().c_str());
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
}

void tst_QtPrinter::printsToPdf()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        SKIP_UNLESS_REQUIRED("pdftotext (poppler-utils) is not installed");
    Machine machine;
    TestRuntime runtime(machine);
    const QString pdf = QString::fromStdString(machine.root() + "/report.pdf");
    runtime.setPrinter(QtPrinter::toPdf(pdf));
    std::string records = test::mismatchRecords(10);
    records += "\"" + std::string(300, 'L') + ".so\",1,2,\"a\",\"b\",\"" + std::string(200, 'E') + "\"\r\n";
    Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + records);
    FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QVERIFY(runtime.messages.empty());

    QProcess info;
    info.start("pdfinfo", { pdf });
    QVERIFY(info.waitForFinished());
    const QByteArray details = info.readAllStandardOutput();
    QVERIFY2(QRegularExpression("Pages:\\s+2\n").match(QString::fromUtf8(details)).hasMatch(), details.constData());

    const QStringList pages = pagesOf(pdf);
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

void tst_QtPrinter::nineBlocksToAPageInAnyFont_data()
{
    QTest::addColumn<qreal>("desktopPointSize");
    QTest::addColumn<QPageSize>("paper");
    QTest::addColumn<bool>("scaled");
    QTest::newRow("9 pt, A4: as it is") << 9.0 << QPageSize(QPageSize::A4) << false;
    QTest::newRow("9 pt, Letter: as it is") << 9.0 << QPageSize(QPageSize::Letter) << false;
    QTest::newRow("14 pt, A4") << 14.0 << QPageSize(QPageSize::A4) << true;
    QTest::newRow("14 pt, Letter") << 14.0 << QPageSize(QPageSize::Letter) << true;
    QTest::newRow("24 pt, Letter") << 24.0 << QPageSize(QPageSize::Letter) << true;
}

void tst_QtPrinter::nineBlocksToAPageInAnyFont()
{
    // The desktop's font is the printer's; a large one must not split the
    // blocks: nineteen records are pages of nine, nine and one.
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        SKIP_UNLESS_REQUIRED("pdftotext (poppler-utils) is not installed");
    QFETCH(qreal, desktopPointSize);
    QFETCH(QPageSize, paper);
    QFETCH(bool, scaled);
    Machine machine;
    const QString pdf = printInFont(machine, "report.pdf", desktopPointSize, paper, test::mismatchRecords(19));
    QVERIFY(!pdf.isEmpty());
    // The same label printed at 9 pt, which always fits, gives the height
    // of one point of this font: a scaled report prints smaller than its
    // desktop size, but never below a third of it.
    const QString reference = printInFont(machine, "reference.pdf", 9.0, paper, test::mismatchRecords(1));
    QVERIFY(!reference.isEmpty());
    const qreal perPoint = heightOfFirstLabel(reference) / 9.0;
    QVERIFY(perPoint > 0);
    const qreal printedSize = heightOfFirstLabel(pdf) / perPoint;
    if (scaled)
        QVERIFY2(printedSize < desktopPointSize * 0.99, qPrintable(QString::number(printedSize)));
    else
        QVERIFY2(qAbs(printedSize - desktopPointSize) < 0.1, qPrintable(QString::number(printedSize)));
    QVERIFY(printedSize > desktopPointSize / 3);

    const QStringList pages = pagesOf(pdf);
    QCOMPARE(pages.size(), 3);
    const auto blocksOn = [](const QString& page) {
        QStringList names;
        for (const auto& match : QRegularExpression(QStringLiteral("File:\\s+(name\\d+)\\.so")).globalMatch(page))
            names << match.captured(1);
        return names;
    };
    QCOMPARE(blocksOn(pages[0]).size(), 9);
    QCOMPARE(blocksOn(pages[0]).front(), QStringLiteral("name0"));
    QCOMPARE(blocksOn(pages[1]).size(), 9);
    QCOMPARE(blocksOn(pages[1]).front(), QStringLiteral("name9"));
    QCOMPARE(blocksOn(pages[2]), QStringList { "name18" });
    // Every block is whole on its page: its last line is there too.
    QCOMPARE(pages[0].count(QStringLiteral("Bad date or size")), 9);
    QCOMPARE(pages[1].count(QStringLiteral("Bad date or size")), 9);
}

void tst_QtPrinter::aWrappedNameStaysInItsBlock_data()
{
    QTest::addColumn<QPageSize>("paper");
    QTest::addColumn<int>("records");
    QTest::addColumn<QList<int>>("blocksPerPage");
    QTest::newRow("nine blocks, A4: one page") << QPageSize(QPageSize::A4) << 9 << QList<int> { 9 };
    QTest::newRow("nine blocks, Letter: one page") << QPageSize(QPageSize::Letter) << 9 << QList<int> { 9 };
    QTest::newRow("ten blocks, A4: nine and one") << QPageSize(QPageSize::A4) << 10 << QList<int> { 9, 1 };
}

void tst_QtPrinter::aWrappedNameStaysInItsBlock()
{
    // A 400-character name in the ninth block wraps over several lines at
    // 14 pt: the page takes it whole, and the report's break is the only one.
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        SKIP_UNLESS_REQUIRED("pdftotext (poppler-utils) is not installed");
    QFETCH(QPageSize, paper);
    QFETCH(int, records);
    QFETCH(QList<int>, blocksPerPage);
    Machine machine;
    const std::string longName = std::string(397, 'L') + ".so";
    std::string lines = test::mismatchRecords(8) + "\"" + longName + "\",1,2,\"a\",\"b\",\"Bad date or size\"\r\n";
    for (int index = 9; index < records; ++index)
        lines += "\"after" + std::to_string(index) + ".so\",1,2,\"a\",\"b\",\"Bad date or size\"\r\n";
    const QString pdf = printInFont(machine, "long.pdf", 14, paper, lines);
    QVERIFY(!pdf.isEmpty());
    const QStringList pages = pagesOf(pdf);
    QCOMPARE(pages.size(), blocksPerPage.size());
    for (qsizetype page = 0; page < pages.size(); ++page)
        QCOMPARE(pages[page].count(QStringLiteral("Bad date or size")), blocksPerPage[page]);
    // The whole name is on the first page, with the rest of its block.
    QCOMPARE(QString(pages[0]).remove(QRegularExpression("\\s")).count('L'), 397);
}

int main(int argc, char* argv[])
{
    // No print server here: the default printer is looked up and not found.
    qputenv("CUPS_SERVER", "/nonexistent/cups.sock");
    QApplication application(argc, argv);
    tst_QtPrinter test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtprinter.moc"
