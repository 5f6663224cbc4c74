#pragma once

#include "errors/Error.h"

#include <QString>

#include <memory>
#include <string>

class QPrinter;
class QTemporaryFile;

namespace deptest {

// A printout for the default print queue, as the printing system takes it
// (system/PrintSystem.h). Where it takes PDF files (CUPS) the pages go into
// a PDF laid out as the queue's paper and margins say, and the PDF to the
// queue when the document ends, so that a job the queue refuses is seen as
// refused: Qt's print engine drops that answer. Elsewhere (Windows) Qt's
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
    std::unique_ptr<QTemporaryFile> m_spool; // the PDF, where the pages go into one
};

} // namespace deptest
