// A file's contents on a POSIX system: their SHA-256 digest through
// OpenSSL's libcrypto (which uses the processor's SHA instructions where
// it has them), and the removal of a file. libcrypto is loaded when the
// first digest is wanted: linked, it would cost every start of the program
// a third more time in the loader, digests or not.

#include "errors/Messages.h"
#include "system/FileFaults.h"
#include "system/FileWriter.h"
#include "system/posix/OsError.h"
#include "system/posix/PosixFiles.h"

#include <openssl/evp.h>

#include <dlfcn.h>

#include <cerrno>
#include <memory>
#include <new>
#include <string>
#include <utility>

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

// The few calls of libcrypto a digest needs, found once.
struct Crypto {
    decltype(&EVP_MD_CTX_new) newContext { nullptr };
    decltype(&EVP_MD_CTX_free) freeContext { nullptr };
    decltype(&EVP_sha256) sha256 { nullptr };
    decltype(&EVP_DigestInit_ex) init { nullptr };
    decltype(&EVP_DigestUpdate) update { nullptr };
    decltype(&EVP_DigestFinal_ex) final { nullptr };

    [[nodiscard]] bool loaded() const { return newContext && freeContext && sha256 && init && update && final; }
};

template <typename Function> void find(void* library, const char* name, Function& function)
{
    function
        = reinterpret_cast<Function>(::dlsym(library, name)); // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

const Crypto& crypto()
{
    static const Crypto loaded = [] {
        Crypto calls;
        // Kept loaded for the rest of the program.
        void* library = ::dlopen(DEPTEST_LIBCRYPTO, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr)
            return calls;
        find(library, "EVP_MD_CTX_new", calls.newContext);
        find(library, "EVP_MD_CTX_free", calls.freeContext);
        find(library, "EVP_sha256", calls.sha256);
        find(library, "EVP_DigestInit_ex", calls.init);
        find(library, "EVP_DigestUpdate", calls.update);
        find(library, "EVP_DigestFinal_ex", calls.final);
        return calls;
    }();
    return loaded;
}

struct ContextFree {
    void operator()(EVP_MD_CTX* context) const { crypto().freeContext(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, ContextFree>;

// The block a thread reads into, kept from file to file: a new one of
// this size is new pages, each a fault on its first write. It starts on a
// page: the system copies into a block that starts off a cache line at a
// fraction of the speed. A digest taken while another of the same thread
// is under way (from its events) gets one of its own.
class ThreadBlock {
public:
    ThreadBlock()
        : m_bytes(std::move(kept()))
    {
        if (!m_bytes)
            m_bytes.reset(static_cast<unsigned char*>(::operator new[](blockSize, blockAlignment)));
    }
    ~ThreadBlock() { kept() = std::move(m_bytes); }
    ThreadBlock(const ThreadBlock&) = delete;
    ThreadBlock& operator=(const ThreadBlock&) = delete;

    [[nodiscard]] unsigned char* data() const { return m_bytes.get(); }
    [[nodiscard]] static std::size_t size() { return blockSize; }

private:
    static constexpr std::align_val_t blockAlignment { 4096 };
    struct Free {
        void operator()(unsigned char* bytes) const { ::operator delete[](bytes, blockAlignment); }
    };
    using Bytes = std::unique_ptr<unsigned char[], Free>;
    static Bytes& kept()
    {
        thread_local Bytes block;
        return block;
    }

    Bytes m_bytes;
};

Error noLibrary()
{
    return { error::fileNotFound,
        std::string(message::digestNotComputed).append(": " DEPTEST_LIBCRYPTO " is missing") };
}

} // namespace

Result<ContentDigest> PosixFiles::digest(std::string_view hostPath, const std::function<bool()>& betweenBlocks)
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
        return notRegularForDigest();
    // A regular file never blocks; reads go back to waiting as usual.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    (void)::posix_fadvise(descriptor, 0, 0, POSIX_FADV_SEQUENTIAL);

    const Crypto& calls = crypto();
    if (!calls.loaded())
        return noLibrary();
    const DigestContext context(calls.newContext());
    if (!context || calls.init(context.get(), calls.sha256(), nullptr) != 1)
        return digestNotComputed();
    const ThreadBlock block;
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
        if (calls.update(context.get(), block.data(), static_cast<std::size_t>(got)) != 1)
            return digestNotComputed();
        if (betweenBlocks && !betweenBlocks())
            return stoppedOnRequest();
    }
    // Cut short, grown or written meanwhile: the digest is of no version of
    // the file. Removed or replaced by another file meanwhile: the digest
    // is of a file that is no longer there, not of the one the list names.
    struct stat now { };
    struct stat named { };
    if (total != opened.st_size || ::fstat(descriptor, &now) != 0 || now.st_size != opened.st_size
        || now.st_mtim.tv_sec != opened.st_mtim.tv_sec || now.st_mtim.tv_nsec != opened.st_mtim.tv_nsec
        || now.st_nlink == 0 || ::stat(path.c_str(), &named) != 0 || named.st_dev != opened.st_dev
        || named.st_ino != opened.st_ino)
        return changedWhileRead();
    ContentDigest digest {};
    unsigned int length = 0;
    if (calls.final(context.get(), digest.data(), &length) != 1 || length != digest.size())
        return digestNotComputed();
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
