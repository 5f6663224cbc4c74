#include "system/windows/WindowsFiles.h"

#include "errors/Messages.h"
#include "system/FileFaults.h"
#include "system/FileWriter.h"
#include "system/windows/OsError.h"
#include "system/windows/WideText.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

namespace deptest {

namespace {

Error lastError() { return errorFromWindows(::GetLastError()); }

// Reads a file and notices when someone else rewrites it meanwhile, or
// when it gives more bytes than its size said when it was opened: the rest
// would not be the text that was started on.
class WindowsInputFile final : public InputFile {
public:
    WindowsInputFile(HANDLE handle, const BY_HANDLE_FILE_INFORMATION& opened, std::string path)
        : m_handle(handle)
        , m_opened(opened)
        , m_path(std::move(path))
    {
    }
    ~WindowsInputFile() override { ::CloseHandle(m_handle); }
    WindowsInputFile(const WindowsInputFile&) = delete;
    WindowsInputFile& operator=(const WindowsInputFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        if (m_reads++ > 0 && changedSinceOpened())
            return changedWhileRead();
        DWORD got = 0;
        const DWORD wanted = size > 0x10000000 ? 0x10000000 : static_cast<DWORD>(size);
        if (!::ReadFile(m_handle, buffer, wanted, &got, nullptr))
            return lastError();
        m_read += got;
        if (m_read > sizeOf(m_opened))
            return moreBytesThanItsSize(m_path);
        return static_cast<std::size_t>(got);
    }

    Outcome rewind() override
    {
        if (changedSinceOpened())
            return changedWhileRead();
        if (!::SetFilePointerEx(m_handle, LARGE_INTEGER {}, nullptr, FILE_BEGIN))
            return lastError();
        m_read = 0;
        return {};
    }

private:
    static std::uint64_t sizeOf(const BY_HANDLE_FILE_INFORMATION& data)
    {
        return (std::uint64_t { data.nFileSizeHigh } << 32) | data.nFileSizeLow;
    }

    bool changedSinceOpened() const
    {
        BY_HANDLE_FILE_INFORMATION now {};
        if (!::GetFileInformationByHandle(m_handle, &now))
            return true;
        return sizeOf(now) != sizeOf(m_opened)
            || ::CompareFileTime(&now.ftLastWriteTime, &m_opened.ftLastWriteTime) != 0;
    }

    HANDLE m_handle;
    BY_HANDLE_FILE_INFORMATION m_opened;
    std::string m_path;
    std::uint64_t m_read { 0 };
    std::size_t m_reads { 0 };
};

// Whether the path's last part is one of the names Windows keeps for its
// devices in every folder (CON, NUL, COM1, "nul.txt" too): opening one
// opens the device, or fails in a way that says nothing of it.
bool namesDevice(std::string_view path)
{
    const std::size_t slash = path.find_last_of("\\/:");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    std::string upper(name);
    for (char& c : upper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" || upper == "CONOUT$")
        return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1'
        && upper[3] <= '9';
}

// A handle open for writing.
class WindowsFile final : public SystemFile {
public:
    WindowsFile(HANDLE handle, std::shared_ptr<WindowsCalls> calls)
        : m_handle(handle)
        , m_calls(std::move(calls))
    {
    }
    ~WindowsFile() override
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            m_calls->close(m_handle);
    }
    WindowsFile(const WindowsFile&) = delete;
    WindowsFile& operator=(const WindowsFile&) = delete;

    Result<std::size_t> writeSome(std::string_view bytes) override
    {
        unsigned long put = 0;
        const DWORD wanted = bytes.size() > 0x10000000 ? 0x10000000 : static_cast<DWORD>(bytes.size());
        if (!m_calls->write(m_handle, bytes.data(), wanted, put))
            return lastError();
        return static_cast<std::size_t>(put);
    }

    void truncate(std::uint64_t size) override { (void)m_calls->truncate(m_handle, size); }

    Outcome sync() override
    {
        if (!m_calls->flush(m_handle))
            return lastError();
        return {};
    }

    Outcome close() override
    {
        m_calls->close(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        return {};
    }

private:
    HANDLE m_handle;
    std::shared_ptr<WindowsCalls> m_calls;
};

// A new version under a fresh name beside the file it replaces.
class WindowsPendingVersion final : public PendingVersion {
public:
    WindowsPendingVersion(std::wstring temporary, std::wstring target, std::shared_ptr<WindowsCalls> calls)
        : m_temporary(std::move(temporary))
        , m_target(std::move(target))
        , m_calls(std::move(calls))
    {
    }

    Outcome putInPlace() override
    {
        // ReplaceFileW keeps the old file's attributes and permissions;
        // it has no way to wait for the disk (its flag for that is not
        // supported), as a move of a new file has.
        const DWORD attributes = ::GetFileAttributesW(m_target.c_str());
        const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
        // Made read-only while the new version was written: it stays.
        if (replacing && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
            return Error::of(error::permissionDenied);
        if (!(replacing ? m_calls->replace(m_target.c_str(), m_temporary.c_str(), REPLACEFILE_IGNORE_MERGE_ERRORS)
                        : m_calls->move(m_temporary.c_str(), m_target.c_str(), MOVEFILE_WRITE_THROUGH)))
            return lastError();
        return {};
    }

    void discard() override { m_calls->remove(m_temporary.c_str()); }

private:
    std::wstring m_temporary;
    std::wstring m_target;
    std::shared_ptr<WindowsCalls> m_calls;
};

} // namespace

void* WindowsCalls::create(
    const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition, unsigned long flags)
{
    return ::CreateFileW(path, access, share, nullptr, disposition, flags, nullptr);
}

bool WindowsCalls::write(void* handle, const char* bytes, unsigned long size, unsigned long& written)
{
    DWORD put = 0;
    const bool wrote = ::WriteFile(handle, bytes, size, &put, nullptr) != 0;
    written = put;
    return wrote;
}

bool WindowsCalls::truncate(void* handle, std::uint64_t size)
{
    LARGE_INTEGER keep {};
    keep.QuadPart = static_cast<LONGLONG>(size);
    return ::SetFilePointerEx(handle, keep, nullptr, FILE_BEGIN) && ::SetEndOfFile(handle);
}

bool WindowsCalls::flush(void* handle) { return ::FlushFileBuffers(handle) != 0; }
bool WindowsCalls::close(void* handle) { return ::CloseHandle(handle) != 0; }

bool WindowsCalls::replace(const wchar_t* replaced, const wchar_t* replacement, unsigned long flags)
{
    return ::ReplaceFileW(replaced, replacement, nullptr, flags, nullptr, nullptr) != 0;
}

bool WindowsCalls::move(const wchar_t* from, const wchar_t* to, unsigned long flags)
{
    return ::MoveFileExW(from, to, flags) != 0;
}

bool WindowsCalls::remove(const wchar_t* path) { return ::DeleteFileW(path) != 0; }

WindowsFiles::WindowsFiles()
    : WindowsFiles(std::make_shared<WindowsCalls>())
{
}

WindowsFiles::WindowsFiles(std::shared_ptr<WindowsCalls> calls)
    : m_calls(std::move(calls))
{
}

Result<std::unique_ptr<InputFile>> WindowsFiles::openForReading(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    // A device path names no file, and opening one may already act on the
    // device: it is refused by its name.
    if (path.starts_with("\\\\.\\") || path.starts_with("//./"))
        return notPlainFile(path, "a device path");
    if (namesDevice(path))
        return notPlainFile(path, "a device name (the console, NUL, a port or a printer)");
    const HANDLE handle = ::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Opening a directory is refused as access denied; it is no file.
        const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return notPlainFile(path, message::aDirectory);
        return errorFromWindows(code);
    }
    // Reserved names (CON, NUL, COM1...) open their device wherever they
    // stand, and a pipe's name opens the pipe: what was opened decides.
    const DWORD type = ::GetFileType(handle);
    BY_HANDLE_FILE_INFORMATION opened {};
    if (type != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &opened)) {
        ::CloseHandle(handle);
        return notPlainFile(path,
            type == FILE_TYPE_PIPE       ? "a pipe"
                : type == FILE_TYPE_CHAR ? "a character device (the console, NUL or a port)"
                                         : "a device");
    }
    return std::unique_ptr<InputFile>(std::make_unique<WindowsInputFile>(handle, opened, std::string(path)));
}

Result<std::unique_ptr<OutputFile>> WindowsFiles::openForWriting(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    const HANDLE handle
        = m_calls->create(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (handle == INVALID_HANDLE_VALUE)
        return lastError();
    return bufferedOutput(std::make_unique<WindowsFile>(handle, m_calls));
}

Result<std::unique_ptr<OutputFile>> WindowsFiles::openForReplacing(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    const std::wstring target = wide(path);
    // A read-only file is one the user keeps as it is.
    if (const DWORD attributes = ::GetFileAttributesW(target.c_str());
        attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        return Error::of(error::permissionDenied);
    const std::size_t slash = target.find_last_of(L"\\/");
    const std::wstring directory = slash == std::wstring::npos ? L"." : target.substr(0, slash);
    // A fresh, unique name in the same directory, created by Windows itself.
    std::wstring temporary(MAX_PATH + 1, L'\0');
    if (::GetTempFileNameW(directory.c_str(), L"dpt", 0, temporary.data()) == 0)
        return lastError();
    temporary.resize(temporary.find(L'\0'));
    const HANDLE handle
        = m_calls->create(temporary.c_str(), GENERIC_WRITE, 0, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL);
    if (handle == INVALID_HANDLE_VALUE) {
        const Error failure = lastError();
        m_calls->remove(temporary.c_str());
        return failure;
    }
    return replacementOutput(std::make_unique<WindowsFile>(handle, m_calls),
        std::make_unique<WindowsPendingVersion>(temporary, target, m_calls));
}

Result<FileMeasurement> WindowsFiles::measure(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    // Opened rather than asked by name, so that a symbolic link is
    // measured through to its target, as on other systems.
    const HANDLE handle = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
        nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return lastError();
    BY_HANDLE_FILE_INFORMATION data {};
    const bool known = ::GetFileInformationByHandle(handle, &data) != 0;
    const Error failure = known ? Error {} : lastError();
    ::CloseHandle(handle);
    if (!known)
        return failure;
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

Result<FileMeasurement> WindowsFiles::measureIn(const std::string& directory, std::string_view relative)
{
    return measure(directory + std::string(relative));
}

std::unique_ptr<SystemFiles> thisSystemsFiles() { return std::make_unique<WindowsFiles>(); }

} // namespace deptest
