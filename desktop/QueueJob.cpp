#include "desktop/QueueJob.h"

#include "system/PrintSystem.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

namespace deptest {

QueueJob::QueueJob() = default;
QueueJob::~QueueJob() = default;

Outcome QueueJob::defaultQueue()
{
    if (Result<std::string> destination = defaultPrintDestination(); !destination)
        return destination.error();
    return {};
}

Result<std::unique_ptr<QPrinter>> QueueJob::begin()
{
    Result<std::string> destination = defaultPrintDestination();
    if (!destination)
        return destination.error();
    m_destination = std::move(destination).value();
    const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(m_destination));
    if (!printSystemTakesPdf()) {
        // Qt's print engine hands the pages to the printer itself as they end.
        if (info.isNull())
            return Error { error::printer, "the default printer " + m_destination + " cannot be opened" };
        return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    const QPageLayout layout = QPrinter(info, QPrinter::HighResolution).pageLayout();
    m_spool = std::make_unique<QTemporaryFile>(QDir::tempPath() + QStringLiteral("/deptest-XXXXXX.pdf"));
    if (!m_spool->open())
        return Error { error::printer, m_spool->errorString().toStdString() };
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(m_spool->fileName());
    printer->setPageLayout(layout);
    return printer;
}

Outcome QueueJob::submit(const QString& title)
{
    // Nothing to hand over where no PDF was made: Qt's print engine drew on
    // the printer, or the job never began.
    if (!m_spool)
        return {};
    return submitPrintJob(m_destination, m_spool->fileName().toStdString(), title.toStdString());
}

} // namespace deptest
