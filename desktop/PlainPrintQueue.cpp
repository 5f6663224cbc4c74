#include "desktop/PrintQueue.h"

#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>

namespace deptest {

QueueJob::QueueJob() = default;
QueueJob::~QueueJob() = default;

Outcome QueueJob::defaultQueue()
{
    if (QPrinterInfo::defaultPrinter().isNull())
        return Error::of(error::printer);
    return {};
}

Result<std::unique_ptr<QPrinter>> QueueJob::begin()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return Error::of(error::printer);
    return std::make_unique<QPrinter>(info, QPrinter::HighResolution);
}

Outcome QueueJob::submit(const QString& /*title*/) { return {}; }

} // namespace deptest
