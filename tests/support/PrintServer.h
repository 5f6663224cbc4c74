#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <future>
#include <memory>

namespace deptest::test {

// Accepts one connection on a loopback port and keeps everything sent.
class PrinterListener {
public:
    PrinterListener();
    ~PrinterListener();
    PrinterListener(const PrinterListener&) = delete;
    PrinterListener& operator=(const PrinterListener&) = delete;

    [[nodiscard]] int port() const { return m_port; }
    // The job's bytes, or nothing if none arrived in time.
    QByteArray job(std::chrono::seconds wait);

private:
    [[nodiscard]] QByteArray receive() const;

    int m_socket { -1 };
    int m_port { 0 };
    std::future<QByteArray> m_job;
};

// What is left to read from a descriptor (a connection, a pipe), which is
// then closed.
QByteArray readToEnd(int descriptor);

// Runs a program to its end; what it wrote on both streams, and its exit
// status (-1 when it crashed) if asked.
QString runTool(const QString& program, const QStringList& arguments, int* exitCode = nullptr);

// A private CUPS server under `root`, listening on a local socket, with a
// raw queue "deptest-test" made the default whose "network printer" is a
// listener in the test. The test process (and any program it starts) must
// have CUPS_SERVER set to socketPath() before anything asks CUPS for it.
class PrintServer {
public:
    explicit PrintServer(QString root);
    ~PrintServer();
    PrintServer(const PrintServer&) = delete;
    PrintServer& operator=(const PrintServer&) = delete;

    static QString socketPath(const QString& root) { return root + "/cups.sock"; }
    // Why there can be no server here (a program is not installed), or nothing.
    static QString missingTools();

    // Starts the server and the queue; empty when they run, otherwise what went wrong.
    QString start();
    PrinterListener& listener() { return *m_listener; }
    // The next job the printer receives within a minute, kept as job.pdf
    // under the root: its path, empty when no PDF came.
    QString receivedPdf();
    [[nodiscard]] const QString& root() const { return m_root; }

private:
    QString m_root;
    QProcess m_cupsd;
    std::unique_ptr<PrinterListener> m_listener;
};

} // namespace deptest::test
