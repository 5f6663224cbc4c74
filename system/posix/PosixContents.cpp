// A file's contents on a POSIX system: their SHA-256 digest through
// OpenSSL's libcrypto (which uses the processor's SHA instructions where
// it has them), and the removal of a file.

#include "system/FileWriter.h"
#include "system/posix/OsError.h"
#include "system/posix/PosixFiles.h"

#include <openssl/evp.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

namespace {

// Large enough that a read costs little beside the hashing of its bytes.
constexpr std::size_t blockSize = std::size_t { 1 } << 20;

struct DescriptorCloser {
    explicit DescriptorCloser(int descriptor)
        : descriptor(descriptor)
    {
    }
    ~DescriptorCloser() { ::close(descriptor); }
    int descriptor;
    DescriptorCloser(const DescriptorCloser&) = delete;
    DescriptorCloser& operator=(const DescriptorCloser&) = delete;
};

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

Error notRegular() { return { error::pathFileAccess, "Not a regular file: its contents cannot be compared" }; }
Error changedWhileRead() { return { error::pathFileAccess, "The file changed while it was read" }; }
Error libraryFailure() { return { error::deviceIo, "The digest could not be computed" }; }

} // namespace

Result<ContentDigest> PosixFiles::digest(std::string_view hostPath, const std::function<void()>& betweenBlocks)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    const std::string path(hostPath);
    // Without O_NONBLOCK a FIFO named in a list would wait for a writer
    // before open() returned.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return errorFromOs(errno);
    const DescriptorCloser closer(descriptor);
    struct stat opened { };
    if (::fstat(descriptor, &opened) != 0)
        return errorFromOs(errno);
    if (!S_ISREG(opened.st_mode))
        return notRegular();
    // A regular file never blocks; reads go back to waiting as usual.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    (void)::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);

    const DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return libraryFailure();
    std::vector<unsigned char> block(blockSize);
    std::int64_t total = 0;
    for (;;) {
        const ssize_t got = ::read(descriptor, block.data(), block.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return errorFromOs(errno);
        if (got == 0)
            break;
        total += got;
        if (EVP_DigestUpdate(context.get(), block.data(), static_cast<std::size_t>(got)) != 1)
            return libraryFailure();
        if (betweenBlocks)
            betweenBlocks();
    }
    // Cut short or grown meanwhile: the digest is of no version of the file.
    struct stat now { };
    if (total != opened.st_size || ::fstat(descriptor, &now) != 0 || now.st_size != opened.st_size)
        return changedWhileRead();
    ContentDigest digest {};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return libraryFailure();
    return digest;
}

Outcome PosixFiles::remove(std::string_view hostPath)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    if (::unlink(std::string(hostPath).c_str()) != 0 && errno != ENOENT)
        return errorFromOs(errno);
    return {};
}

} // namespace deptest
