#include "names/BinaryFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace deptest::names {

BinaryFile::BinaryFile(BinaryFile&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

BinaryFile& BinaryFile::operator=(BinaryFile&& other) noexcept
{
    if (this != &other) {
        if (m_data != nullptr)
            munmap(m_data, m_size);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

BinaryFile::~BinaryFile()
{
    if (m_data != nullptr)
        munmap(m_data, m_size);
}

BinaryFile BinaryFile::open(const std::string& path, std::string& why)
{
    BinaryFile file;
    // Not blocking: a named pipe given as a program must not hang the run.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        why = std::strerror(errno);
        return file;
    }
    struct stat status { };
    if (fstat(fd, &status) != 0) {
        why = std::strerror(errno);
    } else if (S_ISDIR(status.st_mode)) {
        why = "is a directory";
    } else if (!S_ISREG(status.st_mode)) {
        why = "is not a regular file";
    } else if (status.st_size == 0) {
        why = "is empty";
    } else {
        const auto size = static_cast<std::size_t>(status.st_size);
        void* data = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            why = std::strerror(errno);
        } else {
            file.m_data = static_cast<unsigned char*>(data);
            file.m_size = size;
        }
    }
    ::close(fd);
    return file;
}

Format formatOf(std::span<const unsigned char> bytes)
{
    if (bytes.size() >= 4 && bytes[0] == 0x7f && bytes[1] == 'E' && bytes[2] == 'L' && bytes[3] == 'F')
        return Format::Elf;
    if (bytes.size() >= 2 && bytes[0] == 'M' && bytes[1] == 'Z')
        return Format::Pe;
    return Format::Unknown;
}

} // namespace deptest::names
