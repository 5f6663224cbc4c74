#include "system/PrintSystem.h"

#include <cups/cups.h>

namespace deptest {

namespace {

Error refusal()
{
    const char* reason = cupsLastErrorString();
    if (reason == nullptr || *reason == '\0')
        return Error::of(error::printer);
    return { error::printer, reason };
}

} // namespace

Result<std::string> defaultPrintDestination()
{
    cups_dest_t* destination = cupsGetNamedDest(CUPS_HTTP_DEFAULT, nullptr, nullptr);
    if (destination == nullptr)
        return refusal();
    std::string name = destination->name;
    cupsFreeDests(1, destination);
    return name;
}

bool printSystemTakesPdf() { return true; }

Outcome submitPrintJob(const std::string& destination, const std::string& pdfFile, const std::string& title)
{
    // The printing system tells the format from the file: a PDF.
    const int job = cupsPrintFile2(CUPS_HTTP_DEFAULT, destination.c_str(), pdfFile.c_str(), title.c_str(), 0, nullptr);
    if (job == 0)
        return refusal();
    return {};
}

} // namespace deptest
