#include "system/windows/OsError.h"

#include "system/windows/WideText.h"

#include <windows.h>

namespace deptest {

Error errorFromWindows(unsigned long code)
{
    switch (code) {
    case ERROR_FILE_NOT_FOUND: return Error::of(error::fileNotFound);
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH: return Error::of(error::pathNotFound);
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_SHARING_VIOLATION: // another program holds the file: not permitted now
    case ERROR_LOCK_VIOLATION: return Error::of(error::permissionDenied);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return Error::of(error::diskFull);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DIRECTORY: return Error::of(error::badFileName);
    case ERROR_TOO_MANY_OPEN_FILES: return Error::of(error::tooManyFiles);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_NOT_READY: return Error::of(error::deviceIo);
    default: break;
    }
    const std::string message = windowsMessage(code);
    if (message.empty())
        return Error::of(error::pathFileAccess);
    return { error::pathFileAccess, message };
}

std::string windowsMessage(unsigned long code)
{
    wchar_t* text = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return narrow(message);
}

} // namespace deptest
