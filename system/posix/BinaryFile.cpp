#include "system/BinaryFile.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_descriptor(std::exchange(other.m_descriptor, -1))
    , m_size(std::exchange(other.m_size, 0))
{
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept
{
    if (this != &other) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = std::exchange(other.m_descriptor, -1);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

BinaryFile::~BinaryFile()
{
    if (m_descriptor >= 0)
        ::close(m_descriptor);
}

BinaryFile BinaryFile::open(const std::string& path, std::string& why)
{
    BinaryFile file;
    // Not blocking: a named pipe given as a program must not hang the run.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        why = std::strerror(errno);
        return file;
    }
    struct stat status { };
    if (fstat(descriptor, &status) != 0) {
        why = std::strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        why = "is a directory";
    } else if (!S_ISREG(status.st_mode)) {
        why = "is not a regular file";
    } else if (status.st_size == 0) {
        why = "is empty";
    } else {
        file.m_descriptor = descriptor;
        file.m_size = static_cast<std::uint64_t>(status.st_size);
        return file;
    }
    ::close(descriptor);
    return file;
}

bool BinaryFile::read(std::uint64_t offset, std::span<unsigned char> out) const
{
    if (m_descriptor < 0 || offset > m_size || m_size - offset < out.size())
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t got
            = ::pread(m_descriptor, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false; // cut short since it was opened, or unreadable
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::optional<std::vector<unsigned char>> BinaryFile::readAll(std::size_t most, std::string& why) const
{
    if (m_size > most) {
        why = "is too large";
        return std::nullopt;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(m_size));
    if (!read(0, bytes)) {
        why = "was cut short while it was read";
        return std::nullopt;
    }
    return bytes;
}

} // namespace deptest
