#include "system/BinaryFile.h"

#include "system/FileFaults.h"
#include "system/posix/OsError.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

void BinaryFile::release(std::intptr_t handle) { ::close(static_cast<int>(handle)); }

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
        return binaryIsDirectory();
    if (!S_ISREG(status.st_mode))
        return binaryNotRegular();
    if (status.st_size == 0)
        return binaryIsEmpty();
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

} // namespace deptest
