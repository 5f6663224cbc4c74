// Prints the report for real: a private CUPS server, started here on a
// local socket and made the default, with a raw queue whose "network
// printer" is a listener in this test. The job that reaches the listener
// must be the report as a PDF.

#include "desktop/QtPrinter.h"
#include "report/ReportPrinting.h"
#include "tests/support/TestRuntime.h"

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace deptest;

namespace {

// Accepts one connection on a loopback port and keeps everything sent.
class PrinterListener {
public:
    PrinterListener()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(m_socket, 1) != 0
            || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            qFatal("cannot listen on loopback");
        m_port = ntohs(address.sin_port);
        m_job = std::async(std::launch::async, [this] { return receive(); });
    }
    ~PrinterListener()
    {
        ::shutdown(m_socket, SHUT_RDWR);
        ::close(m_socket);
    }
    PrinterListener(const PrinterListener&) = delete;
    PrinterListener& operator=(const PrinterListener&) = delete;

    [[nodiscard]] int port() const { return m_port; }
    // The job's bytes, or nothing if none arrived in time.
    QByteArray job(std::chrono::seconds wait)
    {
        if (m_job.wait_for(wait) != std::future_status::ready)
            return {};
        return m_job.get();
    }

private:
    QByteArray receive() const
    {
        const int connection = ::accept(m_socket, nullptr, nullptr);
        if (connection < 0)
            return {};
        QByteArray data;
        char buffer[65536];
        for (ssize_t got; (got = ::read(connection, buffer, sizeof buffer)) > 0;)
            data.append(buffer, got);
        ::close(connection);
        return data;
    }

    int m_socket { -1 };
    int m_port { 0 };
    std::future<QByteArray> m_job;
};

QString run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    process.waitForFinished(30000);
    return QString::fromUtf8(process.readAll());
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
    void cleanupTestCase();

private:
    QString m_root;
    QProcess m_cupsd;
    std::unique_ptr<PrinterListener> m_listener;
};

void tst_CupsPrint::initTestCase()
{
    const QString cupsd = QStandardPaths::findExecutable("cupsd", { "/usr/sbin", "/usr/local/sbin" });
    const QString lpadmin = QStandardPaths::findExecutable("lpadmin", { "/usr/sbin", "/usr/bin" });
    if (cupsd.isEmpty() || lpadmin.isEmpty())
        QSKIP("cupsd and lpadmin are not installed (Debian: cups-daemon, cups-client); no real print server to test "
              "with");
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        QSKIP("pdfinfo (poppler-utils) is not installed");

    for (const char* leaf : { "spool", "cache", "state", "log", "tmp" })
        QVERIFY(QDir(m_root).mkpath(QLatin1String(leaf)));
    QFile conf(m_root + "/cupsd.conf");
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write(QStringLiteral("Listen %1/cups.sock\nLogLevel warn\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                   .arg(m_root)
                   .toUtf8());
    conf.close();
    QFile files(m_root + "/cups-files.conf");
    QVERIFY(files.open(QIODevice::WriteOnly));
    files.write(
        QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
                       "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                       "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n")
            .arg(m_root)
            .toUtf8());
    files.close();

    m_cupsd.start(cupsd, { "-f", "-c", m_root + "/cupsd.conf", "-s", m_root + "/cups-files.conf" });
    QVERIFY2(m_cupsd.waitForStarted(), "cupsd did not start");
    QTRY_VERIFY_WITH_TIMEOUT(run("lpstat", { "-r" }).contains("scheduler is running"), 15000);

    m_listener = std::make_unique<PrinterListener>();
    const QString uri = QStringLiteral("socket://127.0.0.1:%1").arg(m_listener->port());
    const QString added = run(lpadmin, { "-p", "deptest-test", "-E", "-v", uri });
    const QString defaulted = run(lpadmin, { "-d", "deptest-test" });
    QVERIFY2(run("lpstat", { "-d" }).contains("deptest-test"), qPrintable(added + defaulted));
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

    const QByteArray job = m_listener->job(std::chrono::seconds(60));
    QVERIFY2(job.startsWith("%PDF"), "the printer received no PDF job");
    qInfo("the printer received %lld bytes", static_cast<long long>(job.size()));
    const QString pdf = m_root + "/job.pdf";
    QFile out(pdf);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(job);
    out.close();
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
    run(path, arguments);

    test::Machine machine;
    test::TestRuntime runtime(machine);
    runtime.setPrinter(std::make_unique<QtPrinter>());
    test::Machine::writeText(machine.dataFile("outdll.txt"), test::exceptionsHeaderLine() + test::mismatchRecords(3));
    test::FakeWindow window;
    window.missing = { "x" };
    printReport(window, runtime);
    QCOMPARE(runtime.messages, std::vector<std::string> { message.toStdString() });
    QCOMPARE(window.enabled, (std::array<bool, 3> { true, true, true }));
    QVERIFY2(!run("lpstat", { "-o" }).contains("deptest-test-"), "a job is waiting in the queue");
}

void tst_CupsPrint::cleanupTestCase()
{
    m_listener.reset();
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill();
    }
}

int main(int argc, char* argv[])
{
    // The print server must be chosen before anything asks CUPS for it.
    QTemporaryDir root;
    qputenv("CUPS_SERVER", (root.path() + "/cups.sock").toUtf8());
    QApplication application(argc, argv);
    tst_CupsPrint test(root.path());
    return QTest::qExec(&test, argc, argv);
}

#include "tst_cupsprint.moc"
