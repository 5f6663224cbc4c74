#include "platform/HostFiles.h"

#include "errors/ErrorState.h"
#include "platform/Files.h"
#include "platform/OsError.h"

#include <cerrno>
#include <csignal>
#include <ctime>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

namespace {

// Reads a file and notices when someone else rewrites it meanwhile (a
// reference list regenerated while a test run reads it): the rest would be
// another file's bytes at this one's offset, so reading stops with an error.
class HostInputFile final : public InputFile {
public:
    HostInputFile(int descriptor, const struct stat& opened)
        : m_descriptor(descriptor)
        , m_opened(opened)
    {
    }
    ~HostInputFile() override { ::close(m_descriptor); }
    HostInputFile(const HostInputFile&) = delete;
    HostInputFile& operator=(const HostInputFile&) = delete;

    std::size_t read(char* buffer, std::size_t size, ErrorState& state) override
    {
        if (m_read > 0 && changedSinceOpened()) {
            state.raise(error::pathFileAccess, "The file changed while it was read");
            return 0;
        }
        for (;;) {
            const ssize_t got = ::read(m_descriptor, buffer, size);
            if (got >= 0) {
                m_read += static_cast<std::size_t>(got);
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR) {
                raiseOsError(errno, {}, state);
                return 0;
            }
        }
    }

private:
    bool changedSinceOpened() const
    {
        struct stat now { };
        if (::fstat(m_descriptor, &now) != 0)
            return true;
        return now.st_size != m_opened.st_size || now.st_mtim.tv_sec != m_opened.st_mtim.tv_sec
            || now.st_mtim.tv_nsec != m_opened.st_mtim.tv_nsec;
    }

    int m_descriptor;
    struct stat m_opened;
    std::size_t m_read { 0 };
};

// Buffers whole records and hands them to the system in large writes. When
// a write fails the file is cut back to its last complete line and takes
// nothing more, so what is on disk is always a clean run of records.
class HostOutputFile final : public OutputFile {
public:
    explicit HostOutputFile(int descriptor)
        : m_descriptor(descriptor)
    {
        m_buffer.reserve(bufferSize);
    }
    ~HostOutputFile() override
    {
        if (m_descriptor >= 0) {
            ErrorState ignored;
            close(ignored);
        }
    }
    HostOutputFile(const HostOutputFile&) = delete;
    HostOutputFile& operator=(const HostOutputFile&) = delete;

    void write(std::string_view bytes, ErrorState& state) override
    {
        if (m_failure.pending()) {
            state.raise(m_failure.number(), m_failure.description());
            return;
        }
        m_buffer.append(bytes);
        if (m_buffer.size() >= bufferSize)
            flush(state);
    }

    void close(ErrorState& state) override
    {
        if (m_descriptor < 0)
            return;
        if (!m_failure.pending())
            flush(state);
        if (::close(m_descriptor) != 0 && !m_failure.pending())
            raiseOsError(errno, {}, state);
        m_descriptor = -1;
    }

private:
    static constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;

    void flush(ErrorState& state)
    {
        std::size_t written = 0;
        while (written < m_buffer.size()) {
            const ssize_t put = ::write(m_descriptor, m_buffer.data() + written, m_buffer.size() - written);
            if (put > 0) {
                written += static_cast<std::size_t>(put);
                continue;
            }
            if (put < 0 && errno == EINTR)
                continue;
            const int failure = put < 0 ? errno : ENOSPC;
            const std::string_view done(m_buffer.data(), written);
            const std::size_t lastLineEnd = done.rfind('\n');
            const std::size_t keep = lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1;
            if (::ftruncate(m_descriptor, static_cast<off_t>(m_committed + keep)) != 0) {
                // Nothing more can be done for the file; the error below says it is incomplete.
            }
            raiseOsError(failure, {}, m_failure);
            state.raise(m_failure.number(), m_failure.description());
            m_buffer.clear();
            return;
        }
        m_committed += written;
        m_buffer.clear();
    }

    int m_descriptor;
    std::string m_buffer;
    std::uint64_t m_committed { 0 };
    ErrorState m_failure;
};

void ignoreFileSizeSignal()
{
    // A file-size limit must come back as a failed write, not end the program.
    static const bool ignored = [] {
        std::signal(SIGXFSZ, SIG_IGN);
        return true;
    }();
    (void)ignored;
}

// A NUL byte would cut the path short and name another file.
bool isUsablePath(std::string_view hostPath, ErrorState& state)
{
    if (hostPath.find('\0') == std::string_view::npos)
        return true;
    state.raise(error::badFileName);
    return false;
}

} // namespace

std::unique_ptr<InputFile> openHostFileForReading(std::string_view hostPath, ErrorState& state)
{
    if (!isUsablePath(hostPath, state))
        return nullptr;
    const std::string path(hostPath);
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        raiseOsError(errno, hostPath, state);
        return nullptr;
    }
    struct stat status { };
    if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
        ::close(descriptor);
        state.raise(error::pathFileAccess);
        return nullptr;
    }
    return std::make_unique<HostInputFile>(descriptor, status);
}

std::unique_ptr<OutputFile> openHostFileForWriting(std::string_view hostPath, ErrorState& state)
{
    ignoreFileSizeSignal();
    if (!isUsablePath(hostPath, state))
        return nullptr;
    const std::string path(hostPath);
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0) {
        raiseOsError(errno, hostPath, state);
        return nullptr;
    }
    return std::make_unique<HostOutputFile>(descriptor);
}

void measureHostFile(std::string_view hostPath, FileMeasurement& measurement, ErrorState& state)
{
    if (!isUsablePath(hostPath, state))
        return;
    const std::string path(hostPath);
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0) {
        raiseOsError(errno, hostPath, state);
        return;
    }
    if (S_ISDIR(status.st_mode)) {
        state.raise(error::fileNotFound); // a directory is not a file
        return;
    }
    std::tm local {};
    const std::time_t modified = status.st_mtime;
    if (::localtime_r(&modified, &local) == nullptr) {
        state.raise(error::invalidArgument);
        return;
    }
    measurement.size = static_cast<std::int64_t>(status.st_size);
    measurement.modified
        = FileTime { local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec };
}

} // namespace deptest
