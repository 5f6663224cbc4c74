#pragma once

#include "errors/Error.h"

#include <string>

namespace deptest {

// The printing system's queues: CUPS through libcups, so that a job it
// refuses is seen as refused (Qt's print engine drops that answer); on
// Windows its own spooler, which Qt's print engine draws on directly.

// The name of the default destination, or 482 with the printing system's
// reason when there is none.
Result<std::string> defaultPrintDestination();

// Where the printing system takes PDF files (CUPS; not Windows): hands one
// to a destination as one job under `title`; 482 with the
// printing system's reason when it does not take it.
Outcome submitPrintJob(const std::string& destination, const std::string& pdfFile, const std::string& title);

} // namespace deptest
