// A file's contents on Windows: their SHA-256 digest through the system's
// own cryptography (CNG, which uses the processor's SHA instructions where
// it has them), and the removal of a file.

#include "system/FileFaults.h"
#include "system/FileWriter.h"
#include "system/windows/OsError.h"
#include "system/windows/WideText.h"
#include "system/windows/WindowsFiles.h"

#include <windows.h>

#include <bcrypt.h>

#include <memory>
#include <string>
#include <vector>

namespace deptest {

namespace {

// Large enough that a read costs little beside the hashing of its bytes.
constexpr DWORD blockSize = DWORD { 1 } << 20;

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

struct AlgorithmCloser {
    void operator()(BCRYPT_ALG_HANDLE algorithm) const { ::BCryptCloseAlgorithmProvider(algorithm, 0); }
};
struct HashCloser {
    void operator()(BCRYPT_HASH_HANDLE hash) const { ::BCryptDestroyHash(hash); }
};

} // namespace

Result<ContentDigest> WindowsFiles::digest(std::string_view path, const std::function<bool()>& betweenBlocks)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    // Others may go on reading and writing it; a change shows in its size
    // or its time. It cannot be removed or replaced while it is open here.
    const Handle file(::CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
            return notRegularForDigest();
        return errorFromWindows(code);
    }
    // A pipe or a device would wait for bytes that may never come.
    if (::GetFileType(file.get()) != FILE_TYPE_DISK)
        return notRegularForDigest();
    LARGE_INTEGER opened {};
    FILETIME writtenAtOpen {};
    if (!::GetFileSizeEx(file.get(), &opened) || !::GetFileTime(file.get(), nullptr, nullptr, &writtenAtOpen))
        return errorFromWindows(::GetLastError());

    BCRYPT_ALG_HANDLE algorithmHandle = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&algorithmHandle, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return digestNotComputed();
    const std::unique_ptr<void, AlgorithmCloser> algorithm(algorithmHandle);
    BCRYPT_HASH_HANDLE hashHandle = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(algorithmHandle, &hashHandle, nullptr, 0, nullptr, 0, 0)))
        return digestNotComputed();
    const std::unique_ptr<void, HashCloser> hash(hashHandle);

    std::vector<unsigned char> block(blockSize);
    LONGLONG total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), block.data(), blockSize, &got, nullptr))
            return errorFromWindows(::GetLastError());
        if (got == 0)
            break;
        total += got;
        if (!BCRYPT_SUCCESS(::BCryptHashData(hashHandle, block.data(), got, 0)))
            return digestNotComputed();
        if (betweenBlocks && !betweenBlocks())
            return stoppedOnRequest();
    }
    // Cut short, grown or written meanwhile: the digest is of no version of
    // the file.
    LARGE_INTEGER now {};
    FILETIME writtenNow {};
    if (total != opened.QuadPart || !::GetFileSizeEx(file.get(), &now) || now.QuadPart != opened.QuadPart
        || !::GetFileTime(file.get(), nullptr, nullptr, &writtenNow)
        || ::CompareFileTime(&writtenNow, &writtenAtOpen) != 0)
        return changedWhileRead();
    ContentDigest digest {};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hashHandle, digest.data(), static_cast<ULONG>(digest.size()), 0)))
        return digestNotComputed();
    return digest;
}

Outcome WindowsFiles::remove(std::string_view path)
{
    if (!isUsablePath(path))
        return Error::of(error::badFileName);
    if (!::DeleteFileW(wide(path).c_str())) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND)
            return errorFromWindows(code);
    }
    return {};
}

} // namespace deptest
