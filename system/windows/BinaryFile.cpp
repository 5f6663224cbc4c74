#include "system/BinaryFile.h"

#include "system/FileFaults.h"
#include "system/FileWriter.h"
#include "system/windows/OsError.h"
#include "system/windows/WideText.h"

#include <utility>

#include <windows.h>

namespace deptest {

namespace {

HANDLE handleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// Windows' own words for why a file cannot be read ("The system cannot
// find the file specified."): a name list shows them as they are, beside
// the program's number for the fault.
Error unreadable(DWORD code)
{
    std::string words = windowsMessage(code);
    const Error known = errorFromWindows(code);
    return { known.number, words.empty() ? known.description : std::move(words) };
}

} // namespace

void BinaryFile::release(std::intptr_t handle) { ::CloseHandle(handleOf(handle)); }

Result<BinaryFile> BinaryFile::open(const std::string& path)
{
    if (!isUsablePath(path))
        return unreadable(ERROR_INVALID_NAME);
    // Others may go on writing or replacing the file while it is read: a
    // table it no longer holds is a short read.
    const HANDLE handle = ::CreateFileW(wide(path).c_str(), GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        // Opening a folder is refused as access denied.
        const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
            return binaryIsDirectory();
        return unreadable(code);
    }
    BinaryFile file;
    file.m_handle = reinterpret_cast<std::intptr_t>(handle); // closed with `file` if it cannot be read
    // A console, a printer port or a pipe given as a program must not hang
    // the run or be taken for a file.
    if (::GetFileType(handle) != FILE_TYPE_DISK)
        return binaryNotRegular();
    LARGE_INTEGER size {};
    if (!::GetFileSizeEx(handle, &size))
        return unreadable(::GetLastError());
    if (size.QuadPart == 0)
        return binaryIsEmpty();
    file.m_size = static_cast<std::uint64_t>(size.QuadPart);
    return file;
}

bool BinaryFile::read(std::uint64_t offset, std::span<unsigned char> out) const
{
    if (!isOpen() || offset > m_size || m_size - offset < out.size())
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        // Read at the offset, as pread does: the handle keeps no position
        // another read depends on.
        OVERLAPPED at {};
        const std::uint64_t position = offset + done;
        at.Offset = static_cast<DWORD>(position);
        at.OffsetHigh = static_cast<DWORD>(position >> 32);
        const std::size_t left = out.size() - done;
        const DWORD wanted = left > 0x10000000 ? 0x10000000 : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!::ReadFile(handleOf(m_handle), out.data() + done, wanted, &got, &at) || got == 0)
            return false; // cut short since it was opened, or unreadable
        done += got;
    }
    return true;
}

} // namespace deptest
