#pragma once

#include "errors/Error.h"

#include <string>

namespace deptest {

// The printing system: CUPS through libcups (system/posix/PrintSystem.cpp),
// or Windows' own spooler (system/windows/PrintSystem.cpp).

// The name of the default destination, or 482 with the printing system's
// reason when there is none.
Result<std::string> defaultPrintDestination();

// Whether the printing system takes a PDF file as a job. CUPS does: the
// pages go to it as a PDF through submitPrintJob, so that a job it refuses
// is seen as refused (Qt's print engine drops that answer). Windows does
// not: Qt's print engine draws on the destination through its spooler.
bool printSystemTakesPdf();

// Where the printing system takes PDF files: hands one to a destination as
// one job under `title`; 482 with the printing system's reason when it
// does not take it. Elsewhere always 482.
Outcome submitPrintJob(const std::string& destination, const std::string& pdfFile, const std::string& title);

} // namespace deptest
