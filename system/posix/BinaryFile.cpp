#include "system/BinaryFile.h"

#include "system/posix/OsError.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_handle(std::exchange(other.m_handle, closed))
    , m_size(std::exchange(other.m_size, 0))
{
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept
{
    if (this != &other) {
        if (isOpen())
            ::close(static_cast<int>(m_handle));
        m_handle = std::exchange(other.m_handle, closed);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

BinaryFile::~BinaryFile()
{
    if (isOpen())
        ::close(static_cast<int>(m_handle));
}

namespace {

// The system's own words for why a file cannot be read ("No such file or
// directory"): a name list shows them as they are, beside the program's
// number for the fault.
Error unreadable(int osError) { return { errorFromOs(osError).number, std::strerror(osError) }; }

} // namespace

Result<BinaryFile> BinaryFile::open(const std::string& path)
{
    // Not blocking: a named pipe given as a program must not hang the run.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0)
        return unreadable(errno);
    BinaryFile file;
    file.m_handle = descriptor; // closed with `file` if it cannot be read
    struct stat status { };
    if (fstat(descriptor, &status) != 0)
        return unreadable(errno);
    if (S_ISDIR(status.st_mode))
        return Error { error::pathFileAccess, "is a directory" };
    if (!S_ISREG(status.st_mode))
        return Error { error::pathFileAccess, "is not a regular file" };
    if (status.st_size == 0)
        return Error { error::inputPastEnd, "is empty" };
    file.m_size = static_cast<std::uint64_t>(status.st_size);
    return file;
}

bool BinaryFile::read(std::uint64_t offset, std::span<unsigned char> out) const
{
    if (!isOpen() || offset > m_size || m_size - offset < out.size())
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got = ::pread(
            static_cast<int>(m_handle), out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // cut short since it was opened, or unreadable
        done += static_cast<std::size_t>(got);
    }
    return true;
}

Result<std::vector<unsigned char>> BinaryFile::readAll(std::size_t most) const
{
    if (m_size > most)
        return Error { error::pathFileAccess, "is too large" };
    std::vector<unsigned char> bytes(static_cast<std::size_t>(m_size));
    if (!read(0, bytes))
        return Error { error::inputPastEnd, "was cut short while it was read" };
    return bytes;
}

} // namespace deptest
