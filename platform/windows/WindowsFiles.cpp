#include "platform/windows/WindowsFiles.h"

#include "services/Files.h"

#include <windows.h>

#include <string>

namespace deptest {

namespace {

std::wstring wide(std::string_view utf8)
{
    if (utf8.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    if (length > 0) {
        std::wstring text(static_cast<std::size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), length);
        return text;
    }
    // Not UTF-8: text of a list written in this machine's code page.
    const int ansi = ::MultiByteToWideChar(CP_ACP, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(ansi), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, utf8.data(), static_cast<int>(utf8.size()), text.data(), ansi);
    return text;
}

std::string narrow(const std::wstring& text)
{
    const int length
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(
        CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

Error lastError() { return errorFromWindows(::GetLastError()); }

// A NUL would cut the path short and name another file.
bool isUsablePath(std::string_view path) { return path.find('\0') == std::string_view::npos; }

class WindowsInputFile final : public InputFile {
public:
    explicit WindowsInputFile(HANDLE handle)
        : m_handle(handle)
    {
    }
    ~WindowsInputFile() override { ::CloseHandle(m_handle); }
    WindowsInputFile(const WindowsInputFile&) = delete;
    WindowsInputFile& operator=(const WindowsInputFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        DWORD got = 0;
        const DWORD wanted = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!::ReadFile(m_handle, buffer, wanted, &got, nullptr))
            return lastError();
        return static_cast<std::size_t>(got);
    }

private:
    HANDLE m_handle;
};

// Buffers whole records and hands them to Windows in large writes. When a
// write fails the file is cut back to its last complete line and takes
// nothing more.
class WindowsOutputFile : public OutputFile {
public:
    explicit WindowsOutputFile(HANDLE handle)
        : m_handle(handle)
    {
    }
    ~WindowsOutputFile() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            (void)WindowsOutputFile::close();
    }
    WindowsOutputFile(const WindowsOutputFile&) = delete;
    WindowsOutputFile& operator=(const WindowsOutputFile&) = delete;

    Outcome write(std::string_view bytes) override
    {
        if (m_failure)
            return m_failure;
        m_buffer.append(bytes);
        if (m_buffer.size() >= bufferSize)
            return flush();
        return {};
    }

    Outcome close() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return {};
        Outcome outcome = m_failure ? Outcome {} : flush();
        if (!m_failure && !outcome && !::FlushFileBuffers(m_handle))
            outcome = lastError();
        ::CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return outcome;
    }

protected:
    [[nodiscard]] bool isOpen() const { return m_handle != INVALID_HANDLE_VALUE; }

private:
    static constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;

    Outcome flush()
    {
        std::size_t written = 0;
        while (written < m_buffer.size()) {
            DWORD put = 0;
            const auto left = static_cast<DWORD>(m_buffer.size() - written);
            if (::WriteFile(m_handle, m_buffer.data() + written, left, &put, nullptr) && put > 0) {
                written += put;
                continue;
            }
            const DWORD failure = put == 0 && ::GetLastError() == ERROR_SUCCESS ? ERROR_DISK_FULL : ::GetLastError();
            const std::string_view done(m_buffer.data(), written);
            const std::size_t lastLineEnd = done.rfind('\n');
            LARGE_INTEGER keep {};
            keep.QuadPart
                = static_cast<LONGLONG>(m_committed + (lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1));
            if (::SetFilePointerEx(m_handle, keep, nullptr, FILE_BEGIN))
                ::SetEndOfFile(m_handle);
            m_failure = errorFromWindows(failure);
            m_buffer.clear();
            return m_failure;
        }
        m_committed += written;
        m_buffer.clear();
        return {};
    }

    HANDLE m_handle;
    std::string m_buffer;
    std::uint64_t m_committed { 0 };
    Outcome m_failure;
};

// A new version of a file, written under a fresh name beside it and put in
// its place when closed whole; dropped otherwise.
class WindowsReplacementFile final : public WindowsOutputFile {
public:
    WindowsReplacementFile(HANDLE handle, std::wstring temporary, std::wstring target)
        : WindowsOutputFile(handle)
        , m_temporary(std::move(temporary))
        , m_target(std::move(target))
    {
    }
    ~WindowsReplacementFile() override
    {
        if (isOpen()) {
            (void)WindowsOutputFile::close();
            ::DeleteFileW(m_temporary.c_str());
        }
    }
    WindowsReplacementFile(const WindowsReplacementFile&) = delete;
    WindowsReplacementFile& operator=(const WindowsReplacementFile&) = delete;

    Outcome close() override
    {
        if (!isOpen())
            return {};
        Outcome outcome = WindowsOutputFile::close();
        // ReplaceFileW keeps the old file's attributes and permissions.
        const bool replacing = ::GetFileAttributesW(m_target.c_str()) != INVALID_FILE_ATTRIBUTES;
        if (!outcome
            && !(replacing ? ::ReplaceFileW(
                     m_target.c_str(), m_temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                           : ::MoveFileExW(m_temporary.c_str(), m_target.c_str(), MOVEFILE_WRITE_THROUGH)))
            outcome = lastError();
        if (outcome)
            ::DeleteFileW(m_temporary.c_str());
        return outcome;
    }

private:
    std::wstring m_temporary;
    std::wstring m_target;
};

} // namespace

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
    wchar_t* text = nullptr;
    const DWORD length
        = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    if (message.empty())
        return Error::of(error::pathFileAccess);
    return { error::pathFileAccess, narrow(message) };
}

std::string windowsApplicationDirectory()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    path.erase(path.find_last_of(L"\\/"));
    return narrow(path);
}

Result<std::unique_ptr<InputFile>> WindowsFiles::openForReading(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    const HANDLE handle = ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Opening a directory is refused as access denied; it is no file.
        const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return Error::of(error::pathFileAccess);
        return errorFromWindows(code);
    }
    return std::unique_ptr<InputFile>(std::make_unique<WindowsInputFile>(handle));
}

Result<std::unique_ptr<OutputFile>> WindowsFiles::openForWriting(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    const HANDLE handle = ::CreateFileW(
        wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return lastError();
    return std::unique_ptr<OutputFile>(std::make_unique<WindowsOutputFile>(handle));
}

Result<std::unique_ptr<OutputFile>> WindowsFiles::openForReplacing(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    const std::wstring target = wide(path);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? L"." : target.substr(0, slash);
    // A fresh, unique name in the same directory, created by Windows itself.
    std::wstring temporary(MAX_PATH + 1, L'\0');
    if (::GetTempFileNameW(directory.c_str(), L"dpt", 0, temporary.data()) == 0)
        return lastError();
    temporary.resize(temporary.find(L'\0'));
    const HANDLE handle = ::CreateFileW(
        temporary.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const Error failure = lastError();
        ::DeleteFileW(temporary.c_str());
        return failure;
    }
    return std::unique_ptr<OutputFile>(std::make_unique<WindowsReplacementFile>(handle, temporary, target));
}

Result<FileMeasurement> WindowsFiles::measure(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    WIN32_FILE_ATTRIBUTE_DATA data {};
    if (!::GetFileAttributesExW(wide(path).c_str(), GetFileExInfoStandard, &data))
        return lastError();
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return Error::of(error::fileNotFound); // a directory is not a file
    // The local time of that moment, with the daylight-saving rule then in
    // force, not today's.
    SYSTEMTIME universal {};
    SYSTEMTIME local {};
    if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &universal)
        || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return Error::of(error::invalidArgument);
    const auto size = static_cast<std::int64_t>((std::uint64_t { data.nFileSizeHigh } << 32) | data.nFileSizeLow);
    return FileMeasurement { size,
        FileTime { local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond } };
}

} // namespace deptest
