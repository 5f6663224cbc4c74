// Prints the report for real: a private CUPS server, started here on a
// local socket and made the default, with a raw queue whose "network
// printer" is a listener in this test. The job that reaches the listener
// must be the report as a PDF.

#include "desktop/QtPrinter.h"
#include "report/ReportPrinting.h"
#include "tests/support/PrintServer.h"
#include "tests/support/Requirement.h"
#include "tests/support/TestRuntime.h"

#include <QApplication>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace deptest;

namespace {

// What a tool wrote; a tool that failed (a missing tool, no scheduler)
// writes its complaint instead, so a check that asks must see the status.
QString run(const QString& program, const QStringList& arguments, int* exitCode = nullptr)
{
    return test::runTool(program, arguments, exitCode);
}

} // namespace

class tst_CupsPrint : public QObject {
    Q_OBJECT
public:
    explicit tst_CupsPrint(QString serverRoot)
        : m_root(std::move(serverRoot))
    {
    }

private slots:
    void initTestCase();
    void printsOnTheDefaultPrinter();
    void refusedJobsAreErrors_data();
    void refusedJobsAreErrors();

private:
    QString m_root;
    test::PrintServer m_server { m_root };
};

void tst_CupsPrint::initTestCase()
{
    if (const QString missing = test::PrintServer::missingTools(); !missing.isEmpty())
        SKIP_UNLESS_REQUIRED(missing);
    const QString failure = m_server.start();
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_CupsPrint::printsOnTheDefaultPrinter()
{
    test::Machine machine;
    test::TestRuntime runtime(machine);
    runtime.setPrinter(std::make_unique<QtPrinter>()); // the real default printer
    test::Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + test::mismatchRecords(10));
    test::FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QVERIFY2(runtime.messages.empty(), runtime.messages.empty() ? "" : runtime.messages.front().c_str());

    const QString pdf = m_server.receivedPdf();
    QVERIFY2(!pdf.isEmpty(), "the printer received no PDF job");
    const QString info = run("pdfinfo", { pdf });
    QVERIFY2(QRegularExpression("Pages:\\s+2\\n").match(info).hasMatch(), qPrintable(info));
    const QString text = run("pdftotext", { "-layout", pdf, "-" });
    QVERIFY(text.contains(QRegularExpression("File:\\s+name0\\.so")));
    QVERIFY(text.contains(QRegularExpression("File:\\s+name9\\.so")));
    QVERIFY(text.indexOf("name0.so") < text.indexOf("name9.so"));
}

void tst_CupsPrint::refusedJobsAreErrors_data()
{
    // What the queue is made to do, and what the user is told.
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("queue rejects jobs") << "cupsreject" << QStringList { "deptest-test" }
                                        << "Error  482: Destination \"deptest-test\" is not accepting jobs.";
    QTest::newRow("no default destination")
        << "lpadmin" << QStringList { "-x", "deptest-test" } << "Error  482: No default destination.";
}

void tst_CupsPrint::refusedJobsAreErrors()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const QString path = QStandardPaths::findExecutable(program, { "/usr/sbin", "/usr/bin" });
    QVERIFY2(!path.isEmpty(), qPrintable(program));
    int status = -1;
    const QString told = run(path, arguments, &status);
    QVERIFY2(status == 0, qPrintable(told));

    test::Machine machine;
    test::TestRuntime runtime(machine);
    runtime.setPrinter(std::make_unique<QtPrinter>());
    test::Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + test::mismatchRecords(3));
    test::FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { message.toStdString() });
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    const QString queued = run("lpstat", { "-o" }, &status);
    QVERIFY2(status == 0, qPrintable(queued));
    QVERIFY2(!queued.contains("deptest-test-"), "a job is waiting in the queue");
}

int main(int argc, char* argv[])
{
    // The print server must be chosen before anything asks CUPS for it.
    QTemporaryDir root;
    qputenv("CUPS_SERVER", test::PrintServer::socketPath(root.path()).toUtf8());
    QApplication application(argc, argv);
    tst_CupsPrint test(root.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cupsprint.moc"
