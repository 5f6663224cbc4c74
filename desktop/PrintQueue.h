#pragma once

#include "errors/Error.h"

#include <QString>

#include <memory>
#include <string>

class QPrinter;
class QTemporaryFile;

namespace deptest {

// A printout for the default print queue. Where the printing system is
// CUPS (CupsPrintQueue.cpp) the pages go into a PDF laid out as the queue's
// paper and margins say, and the PDF to the queue through libcups when the
// document ends, so that a job the queue refuses is seen as refused: Qt's
// print engine drops that answer. Elsewhere (PlainPrintQueue.cpp) Qt's
// print engine draws on the default printer itself.
class QueueJob {
public:
    QueueJob();
    ~QueueJob();
    QueueJob(const QueueJob&) = delete;
    QueueJob& operator=(const QueueJob&) = delete;

    // None when there is a default queue; 482 with the reason when not.
    static Outcome defaultQueue();

    // The printer the pages are drawn on; 482 when there is no queue.
    Result<std::unique_ptr<QPrinter>> begin();
    // Hands the pages over once the painter has ended; 482 with the
    // printing system's reason when it does not take them.
    Outcome submit(const QString& title);

private:
    std::string m_destination;
    std::unique_ptr<QTemporaryFile> m_spool;
};

} // namespace deptest
