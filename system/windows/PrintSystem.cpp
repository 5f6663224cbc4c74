#include "system/PrintSystem.h"

#include "system/windows/OsError.h"
#include "system/windows/WideText.h"

#include <windows.h>

namespace deptest {

Result<std::string> defaultPrintDestination()
{
    DWORD size = 0;
    ::GetDefaultPrinterW(nullptr, &size);
    DWORD failure = ::GetLastError();
    if (failure == ERROR_INSUFFICIENT_BUFFER && size > 0) {
        std::wstring name(size, L'\0');
        if (::GetDefaultPrinterW(name.data(), &size) != 0) {
            name.resize(size > 0 ? size - 1 : 0); // the size counts the ending null
            return narrow(name);
        }
        failure = ::GetLastError();
    }
    // Windows says "The system cannot find the file specified." when no
    // printer is the default one: its words follow the program's own.
    const std::string reason = windowsMessage(failure);
    return Error { error::printer,
        "no default printer is set in Windows' printer settings" + (reason.empty() ? "" : " (" + reason + ")") };
}

// Qt's print engine draws on Windows' printers itself: no job is handed
// over as a file.
bool printSystemTakesPdf() { return false; }

Outcome submitPrintJob(const std::string& /*destination*/, const std::string& /*pdfFile*/, const std::string& /*title*/)
{
    return Error::of(error::printer);
}

} // namespace deptest
