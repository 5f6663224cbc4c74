#include "system/FileSystem.h"

#include "errors/Error.h"
#include "system/FileWriter.h"
#include "system/windows/OsError.h"
#include "system/windows/WideText.h"

#include <windows.h>

namespace deptest {

namespace {

// A handle to ask about a file or a folder, not to read it: asking for its
// attributes alone is refused by no other program's sharing.
class Asking {
public:
    explicit Asking(const std::string& path)
    {
        // A NUL would end the name early: no such name can be asked for.
        if (!isUsablePath(path))
            return;
        m_handle = ::CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
            nullptr);
        m_failure = m_handle == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    }
    ~Asking()
    {
        if (m_handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_handle);
    }
    Asking(const Asking&) = delete;
    Asking& operator=(const Asking&) = delete;

    [[nodiscard]] HANDLE handle() const { return m_handle; }
    // Why it could not be opened.
    [[nodiscard]] DWORD failure() const { return m_failure; }

private:
    HANDLE m_handle { INVALID_HANDLE_VALUE };
    DWORD m_failure { ERROR_INVALID_NAME };
};

} // namespace

PathStatus statusOf(const std::string& path)
{
    const Asking file(path);
    BY_HANDLE_FILE_INFORMATION data {};
    if (file.handle() != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(file.handle(), &data))
        return { Presence::Found,
            { data.dwVolumeSerialNumber, (std::uint64_t { data.nFileIndexHigh } << 32) | data.nFileIndexLow } };
    // Missing exactly where the test's search goes on to its next folder.
    const int number
        = errorFromWindows(file.handle() == INVALID_HANDLE_VALUE ? file.failure() : ::GetLastError()).number;
    return { number == error::fileNotFound || number == error::pathNotFound ? Presence::Missing : Presence::Unreadable,
        {} };
}

std::optional<std::string> realPath(const std::string& path)
{
    const Asking file(path);
    if (file.handle() == INVALID_HANDLE_VALUE)
        return std::nullopt;
    std::wstring final(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetFinalPathNameByHandleW(
            file.handle(), final.data(), static_cast<DWORD>(final.size()), FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            return std::nullopt;
        if (length < final.size()) {
            final.resize(length);
            break;
        }
        final.resize(length);
    }
    // Windows answers in its long form: \\?\C:\... or \\?\UNC\server\share\...
    if (final.starts_with(L"\\\\?\\UNC\\"))
        final.replace(0, 8, L"\\\\");
    else if (final.starts_with(L"\\\\?\\"))
        final.erase(0, 4);
    return narrow(final);
}

std::vector<std::string> namesInDirectory(const std::string& directory)
{
    std::vector<std::string> names;
    if (!isUsablePath(directory))
        return names;
    std::wstring pattern = wide(directory);
    if (!pattern.empty() && !pattern.ends_with(L'\\') && !pattern.ends_with(L'/'))
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileExW(
        pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do
        names.push_back(narrow(found.cFileName));
    while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

bool isRemoteFolder(const std::string& directory)
{
    if (!isUsablePath(directory))
        return false;
    // A share named by its server (\\server\share) or a drive mapped to one.
    std::wstring volume(MAX_PATH + 1, L'\0');
    if (!::GetVolumePathNameW(wide(directory).c_str(), volume.data(), static_cast<DWORD>(volume.size())))
        return false;
    return ::GetDriveTypeW(volume.c_str()) == DRIVE_REMOTE;
}

char pathSeparator() { return '\\'; }

bool isPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string folderOf(const std::string& path)
{
    const auto slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return ".";
    // The root of a drive (C:\) or of the current drive (\) is a folder;
    // without its backslash it would be the current folder of the drive.
    const bool root = slash == 0 || (slash == 2 && path[1] == ':');
    return path.substr(0, root ? slash + 1 : slash);
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    return folder.empty() || isPathSeparator(folder.back()) ? folder + name : folder + "\\" + name;
}

std::string machineHardwareName()
{
    SYSTEM_INFO system {};
    ::GetNativeSystemInfo(&system);
    switch (system.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64: return "x86_64";
    case PROCESSOR_ARCHITECTURE_INTEL: return "i686";
    case PROCESSOR_ARCHITECTURE_ARM64: return "aarch64";
    case PROCESSOR_ARCHITECTURE_ARM: return "arm";
    default: return {};
    }
}

} // namespace deptest
