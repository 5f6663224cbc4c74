#include "desktop/PrintQueue.h"

#include "system/PrintQueue.h"

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
    if (info.isNull())
        return Error { error::printer, "the default printer " + m_destination + " cannot be opened" };
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

// Qt's print engine hands the pages to the printer itself as they end.
Outcome QueueJob::submit(const QString& /*title*/) { return {}; }

} // namespace deptest
