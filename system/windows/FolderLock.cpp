#include "system/FolderLock.h"

#include "system/windows/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <string>

namespace deptest {

// Windows cannot lock a folder, so a small hidden file in it is locked
// with LockFileEx, at a byte far past its text; the text is the holder's
// process id, for a second run to name.
struct FolderLock::Handle {
    HANDLE file { INVALID_HANDLE_VALUE };
    std::wstring directory;
    ~Handle()
    {
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
    }
};

namespace {

constexpr wchar_t lockFileName[] = L"deptest.lock";
constexpr DWORD lockedByteHigh = 0x7FFFFFFF; // past any text the file holds

OVERLAPPED lockedByte()
{
    OVERLAPPED at {};
    at.OffsetHigh = lockedByteHigh;
    return at;
}

std::int64_t holderOf(HANDLE file)
{
    char text[32] {};
    DWORD got = 0;
    OVERLAPPED start {};
    if (!::ReadFile(file, text, sizeof text - 1, &got, &start))
        return 0;
    return std::strtoll(text, nullptr, 10);
}

// A new version as WindowsFiles writes it: GetTempFileNameW's "dpt" and up
// to four hexadecimal digits, then ".tmp".
bool isNewVersion(const std::wstring& name)
{
    if (name.size() < 8 || name.size() > 11 || name.compare(0, 3, L"dpt") != 0
        || name.compare(name.size() - 4, 4, L".tmp") != 0)
        return false;
    return std::all_of(name.begin() + 3, name.end() - 4, [](wchar_t c) { return std::iswxdigit(c) != 0; });
}

} // namespace

FolderLock::FolderLock(std::unique_ptr<Handle> handle)
    : m_handle(std::move(handle))
{
}

FolderLock::~FolderLock() = default;

FolderLock::Attempt FolderLock::tryTake(const std::string& directory)
{
    auto handle = std::make_unique<Handle>();
    handle->directory = wide(directory.empty() ? std::string(".") : directory);
    const std::wstring path = handle->directory + L"\\" + lockFileName;
    handle->file = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (handle->file == INVALID_HANDLE_VALUE)
        return {}; // a folder nobody may write in: the run goes on without a lock
    OVERLAPPED at = lockedByte();
    if (!::LockFileEx(handle->file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        if (::GetLastError() != ERROR_LOCK_VIOLATION && ::GetLastError() != ERROR_IO_PENDING)
            return {};
        Attempt busy;
        busy.busy = true;
        busy.holder = holderOf(handle->file);
        return busy;
    }
    const std::string id = std::to_string(::GetCurrentProcessId()) + "\r\n";
    DWORD put = 0;
    OVERLAPPED start {};
    if (::WriteFile(handle->file, id.data(), static_cast<DWORD>(id.size()), &put, &start)) {
        LARGE_INTEGER end {};
        end.QuadPart = static_cast<LONGLONG>(id.size());
        if (::SetFilePointerEx(handle->file, end, nullptr, FILE_BEGIN))
            ::SetEndOfFile(handle->file);
    }
    Attempt taken;
    taken.lock.reset(new FolderLock(std::move(handle)));
    return taken;
}

void FolderLock::removeLeftovers(std::span<const std::string_view> /*fileNames*/) const
{
    // Windows names every new version alike, whichever file it replaces.
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW((m_handle->directory + L"\\dpt*.tmp").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0
            && isNewVersion(found.cFileName))
            ::DeleteFileW((m_handle->directory + L"\\" + found.cFileName).c_str());
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
}

// Windows finds the new versions by their name's pattern without listing
// the rest of the folder: there is nothing to note.
void FolderLock::expectNewVersions() const { }
void FolderLock::expectNewVersionsIn(const std::string& /*directory*/) { }
void FolderLock::leaveTidy() const { }

} // namespace deptest
