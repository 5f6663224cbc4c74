#include "tests/support/PrintServer.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QThread>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace deptest::test {

PrinterListener::PrinterListener()
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

PrinterListener::~PrinterListener()
{
    ::shutdown(m_socket, SHUT_RDWR);
    ::close(m_socket);
}

QByteArray PrinterListener::job(std::chrono::seconds wait)
{
    if (m_job.wait_for(wait) != std::future_status::ready)
        return {};
    return m_job.get();
}

QByteArray PrinterListener::receive() const
{
    const int connection = ::accept(m_socket, nullptr, nullptr);
    if (connection < 0)
        return {};
    return readToEnd(connection);
}

QByteArray readToEnd(int descriptor)
{
    QByteArray data;
    char buffer[65536];
    for (ssize_t got; (got = ::read(descriptor, buffer, sizeof buffer)) > 0;)
        data.append(buffer, got);
    ::close(descriptor);
    return data;
}

QString runTool(const QString& program, const QStringList& arguments, int* exitCode)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    // A tool that hangs must not pass for one that printed nothing.
    if (!process.waitForFinished(60'000))
        qFatal("%s %s did not finish within a minute", qPrintable(program), qPrintable(arguments.join(' ')));
    if (exitCode != nullptr)
        *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return QString::fromUtf8(process.readAll());
}

PrintServer::PrintServer(QString root)
    : m_root(std::move(root))
{
}

PrintServer::~PrintServer()
{
    m_listener.reset();
    if (m_cupsd.state() != QProcess::NotRunning) {
        m_cupsd.terminate();
        if (!m_cupsd.waitForFinished(10000))
            m_cupsd.kill();
    }
}

QString PrintServer::missingTools()
{
    if (QStandardPaths::findExecutable("cupsd", { "/usr/sbin", "/usr/local/sbin" }).isEmpty()
        || QStandardPaths::findExecutable("lpadmin", { "/usr/sbin", "/usr/bin" }).isEmpty())
        return QStringLiteral("cupsd and lpadmin are not installed (Debian: cups-daemon, cups-client); no real print "
                              "server to test with");
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        return QStringLiteral("pdfinfo (poppler-utils) is not installed");
    return {};
}

QString PrintServer::start()
{
    for (const char* leaf : { "spool", "cache", "state", "log", "tmp" }) {
        if (!QDir(m_root).mkpath(QLatin1String(leaf)))
            return QStringLiteral("cannot make the server's folders");
    }
    QFile conf(m_root + "/cupsd.conf");
    if (!conf.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write cupsd.conf");
    conf.write(QStringLiteral("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing No\nDefaultAuthType None\n"
                              "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                              "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                   .arg(socketPath(m_root))
                   .toUtf8());
    conf.close();
    QFile files(m_root + "/cups-files.conf");
    if (!files.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write cups-files.conf");
    files.write(
        QStringLiteral("ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/tmp\n"
                       "ErrorLog %1/log/error_log\nAccessLog %1/log/access_log\nPageLog %1/log/page_log\n"
                       "ServerBin /usr/lib/cups\nDataDir /usr/share/cups\n")
            .arg(m_root)
            .toUtf8());
    files.close();

    const QString cupsd = QStandardPaths::findExecutable("cupsd", { "/usr/sbin", "/usr/local/sbin" });
    const QString lpadmin = QStandardPaths::findExecutable("lpadmin", { "/usr/sbin", "/usr/bin" });
    m_cupsd.start(cupsd, { "-f", "-c", m_root + "/cupsd.conf", "-s", m_root + "/cups-files.conf" });
    if (!m_cupsd.waitForStarted())
        return QStringLiteral("cupsd did not start");
    // Waits for the scheduler, failing after a deadline rather than guessing a time.
    const QDeadlineTimer deadline(60'000);
    while (!runTool("lpstat", { "-r" }).contains("scheduler is running")) {
        if (deadline.hasExpired())
            return QStringLiteral("the scheduler did not come up");
        QThread::msleep(50);
    }

    m_listener = std::make_unique<PrinterListener>();
    const QString uri = QStringLiteral("socket://127.0.0.1:%1").arg(m_listener->port());
    const QString added = runTool(lpadmin, { "-p", "deptest-test", "-E", "-v", uri });
    const QString defaulted = runTool(lpadmin, { "-d", "deptest-test" });
    if (!runTool("lpstat", { "-d" }).contains("deptest-test"))
        return added + defaulted;
    return {};
}

QString PrintServer::receivedPdf()
{
    const QByteArray job = m_listener->job(std::chrono::seconds(60));
    QFile pdf(m_root + "/job.pdf");
    if (!job.startsWith("%PDF") || !pdf.open(QIODevice::WriteOnly) || pdf.write(job) != job.size())
        return {};
    return pdf.fileName();
}

} // namespace deptest::test
