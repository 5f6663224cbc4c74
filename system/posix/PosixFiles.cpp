#include "system/posix/PosixFiles.h"

#include "errors/Messages.h"
#include "system/FileFaults.h"
#include "system/FileWriter.h"
#include "system/LocalTime.h"
#include "system/posix/OsError.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace deptest {

namespace {

// Reads a file and notices when someone else rewrites it meanwhile (a
// reference list regenerated while a test run reads it): the rest would be
// another file's bytes at this one's offset, so reading stops with an error.
// A file that gives more bytes than its size said when it was opened (the
// files of /proc and /sys say 0 and then make up their contents as they
// are read) is refused the same way, so that nothing is judged on a text
// that is not there to be read again.
class PosixInputFile final : public InputFile {
public:
    PosixInputFile(int descriptor, const struct stat& opened, std::string path)
        : m_descriptor(descriptor)
        , m_opened(opened)
        , m_path(std::move(path))
    {
    }
    ~PosixInputFile() override { ::close(m_descriptor); }
    PosixInputFile(const PosixInputFile&) = delete;
    PosixInputFile& operator=(const PosixInputFile&) = delete;

    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        if (m_reads++ > 0 && changedSinceOpened())
            return changedWhileRead();
        for (;;) {
            const ssize_t got = ::read(m_descriptor, buffer, size);
            if (got >= 0) {
                m_read += static_cast<std::size_t>(got);
                if (m_read > static_cast<std::size_t>(m_opened.st_size))
                    return moreBytesThanItsSize(m_path);
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR)
                return errorFromOs(errno);
        }
    }

    Outcome rewind() override
    {
        if (changedSinceOpened())
            return changedWhileRead();
        if (::lseek(m_descriptor, 0, SEEK_SET) != 0)
            return errorFromOs(errno);
        m_read = 0;
        return {};
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
    std::string m_path;
    std::size_t m_read { 0 };
    std::size_t m_reads { 0 };
};

// A descriptor open for writing. A file written in place is emptied by
// its first write (`emptyFirst`), so that one dropped before any write
// stays as it was.
class PosixFile final : public SystemFile {
public:
    PosixFile(int descriptor, std::shared_ptr<PosixCalls> calls, std::shared_ptr<bool> emptyFirst = {})
        : m_descriptor(descriptor)
        , m_calls(std::move(calls))
        , m_emptyFirst(std::move(emptyFirst))
    {
    }
    ~PosixFile() override
    {
        if (m_descriptor >= 0)
            m_calls->close(m_descriptor);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    Result<std::size_t> writeSome(std::string_view bytes) override
    {
        if (m_emptyFirst && *m_emptyFirst) {
            if (m_calls->truncate(m_descriptor, 0) != 0)
                return errorFromOs(errno);
            *m_emptyFirst = false;
        }
        for (;;) {
            const ssize_t put = m_calls->write(m_descriptor, bytes.data(), bytes.size());
            if (put >= 0)
                return static_cast<std::size_t>(put);
            if (errno != EINTR)
                return errorFromOs(errno);
        }
    }

    void truncate(std::uint64_t size) override
    {
        if (m_calls->truncate(m_descriptor, static_cast<off_t>(size)) != 0) {
            // Nothing more can be done for the file; the write's error says it is incomplete.
        }
    }

    Outcome sync() override
    {
        if (m_calls->sync(m_descriptor) != 0 && errno != EINVAL)
            return errorFromOs(errno);
        return {};
    }

    Outcome close() override
    {
        const int descriptor = std::exchange(m_descriptor, -1);
        if (m_calls->close(descriptor) != 0)
            return errorFromOs(errno);
        return {};
    }

private:
    int m_descriptor;
    std::shared_ptr<PosixCalls> m_calls;
    std::shared_ptr<bool> m_emptyFirst;
};

// Whether the user has protected a file against writing: no write
// permission at all, or none for this process. The bits hold for root
// too: they say what the user wants kept, and a replacement would
// otherwise go through where writing into the file would not.
bool isWriteProtected(const std::string& path, const struct stat& status)
{
    if ((status.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0
        && (errno == EACCES || errno == EPERM || errno == EROFS);
}

// A new version under a temporary name beside the file it replaces.
class PosixPendingVersion final : public PendingVersion {
public:
    PosixPendingVersion(std::string temporary, std::string target, std::shared_ptr<PosixCalls> calls)
        : m_temporary(std::move(temporary))
        , m_target(std::move(target))
        , m_calls(std::move(calls))
    {
    }

    Outcome putInPlace() override
    {
        // Protected while the new version was written: it stays protected.
        if (struct stat now {}; ::stat(m_target.c_str(), &now) == 0 && isWriteProtected(m_target, now))
            return Error::of(error::permissionDenied);
        // The same table as every other call, so that a fault reads the
        // same here as when the file was opened, and on every system.
        if (m_calls->rename(m_temporary.c_str(), m_target.c_str()) != 0)
            return errorFromOs(errno);
        syncDirectoryOf(m_target); // so that the rename itself survives a power cut
        return {};
    }

    void discard() override { m_calls->unlink(m_temporary.c_str()); }

private:
    // As far as the file system allows: some cannot sync a directory, and
    // the new version is in place already.
    void syncDirectoryOf(const std::string& path)
    {
        const std::string directory = std::filesystem::path(path).parent_path().string();
        const int handle
            = m_calls->open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
        if (handle >= 0) {
            (void)m_calls->sync(handle);
            m_calls->close(handle);
        }
    }

    std::string m_temporary;
    std::string m_target;
    std::shared_ptr<PosixCalls> m_calls;
};

// The file itself, written in place where its directory takes no new file:
// closed whole, it is already in place (emptied if nothing was written).
class PosixInPlaceVersion final : public PendingVersion {
public:
    PosixInPlaceVersion(std::string target, std::shared_ptr<bool> emptyFirst)
        : m_target(std::move(target))
        , m_emptyFirst(std::move(emptyFirst))
    {
    }

    Outcome putInPlace() override
    {
        if (*m_emptyFirst && ::truncate(m_target.c_str(), 0) != 0)
            return errorFromOs(errno);
        return {};
    }

    void discard() override { }

private:
    std::string m_target;
    std::shared_ptr<bool> m_emptyFirst;
};

Result<std::unique_ptr<OutputFile>> writtenInPlace(const std::string& target, const std::shared_ptr<PosixCalls>& calls)
{
    // The directory takes no new file, but the file may be written: it is
    // written in place, as a plain open for output would.
    const int descriptor = calls->open(target.c_str(), O_WRONLY | O_CLOEXEC, 0);
    if (descriptor < 0)
        return errorFromOs(errno);
    auto emptyFirst = std::make_shared<bool>(true);
    return replacementOutput(std::make_unique<PosixFile>(descriptor, calls, emptyFirst),
        std::make_unique<PosixInPlaceVersion>(target, emptyFirst));
}

// The permission bits a newly created file gets: 0666 less the umask. The
// umask is read from what the kernel says of the process, since asking
// umask() for it sets it too, for every thread; where the kernel does not
// say (before Linux 4.7), the usual 022.
mode_t newFileMode()
{
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("Umask:")) {
            mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

// Size and local modification time of what stat() found. A directory is
// not a file: 53.
Result<FileMeasurement> measurementOf(const struct stat& status)
{
    if (S_ISDIR(status.st_mode))
        return Error::of(error::fileNotFound);
    const std::optional<FileTime> local = localTimeOf(status.st_mtime);
    if (!local)
        return Error::of(error::invalidArgument);
    return FileMeasurement { static_cast<std::int64_t>(status.st_size), *local };
}

// What a list that is not a plain file is, in the words of `ls -l` and
// `file`, for the message that refuses it.
std::string_view kindOf(mode_t mode)
{
    return S_ISDIR(mode) ? message::aDirectory
        : S_ISFIFO(mode) ? "a FIFO (named pipe)"
        : S_ISSOCK(mode) ? "a socket"
        : S_ISCHR(mode)  ? "a character device"
        : S_ISBLK(mode)  ? "a block device"
                         : "something else";
}

} // namespace

int PosixCalls::open(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }
int PosixCalls::makeUnique(std::string& pattern, int flags) { return ::mkostemp(pattern.data(), flags); }
ssize_t PosixCalls::write(int descriptor, const void* bytes, std::size_t size)
{
    return ::write(descriptor, bytes, size);
}
int PosixCalls::truncate(int descriptor, off_t size) { return ::ftruncate(descriptor, size); }
int PosixCalls::sync(int descriptor) { return ::fsync(descriptor); }
int PosixCalls::close(int descriptor) { return ::close(descriptor); }
int PosixCalls::rename(const char* from, const char* to) { return ::rename(from, to); }
int PosixCalls::unlink(const char* path) { return ::unlink(path); }

PosixFiles::PosixFiles()
    : PosixFiles(std::make_shared<PosixCalls>())
{
}

PosixFiles::PosixFiles(std::shared_ptr<PosixCalls> calls)
    : m_calls(std::move(calls))
{
}

Error PosixFiles::missingPathError(int osError, std::string_view hostPath)
{
    if (osError != ENOENT)
        return errorFromOs(osError);
    const std::filesystem::path parentPath = std::filesystem::path(hostPath).parent_path();
    std::string parent = parentPath.empty() ? std::string(".") : parentPath.string();
    {
        const std::shared_lock lock(m_lock);
        if (m_existingDirectories.contains(parent))
            return Error::of(error::fileNotFound);
    }
    std::error_code ignored;
    if (!std::filesystem::is_directory(parent, ignored))
        return Error::of(error::pathNotFound);
    constexpr std::size_t rememberedDirectories = 256; // a list names few directories
    const std::lock_guard lock(m_lock);
    if (m_existingDirectories.size() >= rememberedDirectories)
        m_existingDirectories.clear();
    m_existingDirectories.insert(std::move(parent));
    return Error::of(error::fileNotFound);
}

Result<std::unique_ptr<InputFile>> PosixFiles::openForReading(std::string_view hostPath)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    const std::string path(hostPath);
    // Only a plain file is a list. A FIFO would hold open() until a writer
    // came, a device or a pipe may never end, and neither can be read
    // twice: each is refused by what it is, and never opened when it can
    // be told by its name. What is opened is looked at again, as the name
    // may have been moved meanwhile; O_NONBLOCK keeps that open from
    // waiting on a FIFO put there.
    struct stat named { };
    if (::stat(path.c_str(), &named) == 0 && !S_ISREG(named.st_mode))
        return notPlainFile(path, kindOf(named.st_mode));
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (descriptor < 0)
        return missingPathError(errno, hostPath);
    struct stat status { };
    if (::fstat(descriptor, &status) != 0) {
        const int failure = errno;
        ::close(descriptor);
        return errorFromOs(failure);
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(descriptor);
        return notPlainFile(path, kindOf(status.st_mode));
    }
    // A plain file never waits; its reads go back to the usual kind.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    return std::unique_ptr<InputFile>(std::make_unique<PosixInputFile>(descriptor, status, path));
}

Result<std::unique_ptr<OutputFile>> PosixFiles::openForWriting(std::string_view hostPath)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    const std::string path(hostPath);
    const int descriptor = m_calls->open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (descriptor < 0)
        return missingPathError(errno, hostPath);
    return bufferedOutput(std::make_unique<PosixFile>(descriptor, m_calls));
}

Result<std::unique_ptr<OutputFile>> PosixFiles::openForReplacing(std::string_view hostPath)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    // A link stays a link: the file it points to is the one replaced, or
    // made there when it is not there yet.
    std::string target(hostPath);
    constexpr int mostLinks = 40; // as many as the system follows in a path
    std::error_code notLink;
    for (int links = 0; std::filesystem::is_symlink(target, notLink); ++links) {
        std::error_code failed;
        const std::filesystem::path next = std::filesystem::read_symlink(target, failed);
        if (failed || links == mostLinks)
            return errorFromOs(failed ? failed.value() : ELOOP);
        target = next.is_absolute() ? next.string() : (std::filesystem::path(target).parent_path() / next).string();
    }
    struct stat old { };
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode))
        return Error::of(error::pathFileAccess);
    if (replacing && isWriteProtected(target, old))
        return Error::of(error::permissionDenied);

    // Created exclusively under a name nobody can guess, so that no link
    // planted in a shared directory is written through.
    const std::filesystem::path targetPath(target);
    std::string hidden(".");
    hidden.append(targetPath.filename().string()).append(".XXXXXX");
    std::string temporary = (targetPath.parent_path() / hidden).string();
    const int descriptor = m_calls->makeUnique(temporary, O_CLOEXEC);
    if (descriptor < 0 && replacing && (errno == EACCES || errno == EPERM))
        return writtenInPlace(target, m_calls);
    if (descriptor < 0)
        return missingPathError(errno, target);
    // The new version keeps the old one's permissions and, where allowed,
    // its owner; a new file gets what creating it would have given.
    const mode_t mode = replacing ? (old.st_mode & 07777) : newFileMode();
    if (replacing && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
        // Only root may give a file away: otherwise the new version is the
        // user's own, with the old permissions.
        [[maybe_unused]] const int givenAway = ::fchown(descriptor, old.st_uid, old.st_gid);
    }
    if (::fchmod(descriptor, mode) != 0) {
        const int failure = errno;
        m_calls->close(descriptor);
        m_calls->unlink(temporary.c_str());
        return errorFromOs(failure);
    }
    return replacementOutput(std::make_unique<PosixFile>(descriptor, m_calls),
        std::make_unique<PosixPendingVersion>(std::move(temporary), target, m_calls));
}

PosixFiles::~PosixFiles()
{
    for (const auto& directory : m_directories) {
        if (directory->handle >= 0)
            ::close(directory->handle);
    }
}

PosixFiles::Directory& PosixFiles::directoryOf(const std::string& path)
{
    const std::size_t quick = m_quickCount.load(std::memory_order_acquire);
    for (std::size_t i = 0; i < quick; ++i) {
        if (m_quick[i]->path == path)
            return *m_quick[i];
    }
    return directoryAddedLater(path);
}

PosixFiles::Directory& PosixFiles::directoryAddedLater(const std::string& path)
{
    {
        const std::shared_lock lock(m_lock);
        for (const auto& known : m_directories) {
            if (known->path == path)
                return *known;
        }
    }
    const std::lock_guard lock(m_lock);
    for (const auto& known : m_directories) {
        if (known->path == path)
            return *known;
    }
    Directory& added = *m_directories.emplace_back(std::make_unique<Directory>());
    added.path = path;
    added.handle = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (const std::size_t quick = m_quickCount.load(std::memory_order_relaxed); quick < quickDirectories) {
        m_quick[quick] = &added;
        m_quickCount.store(quick + 1, std::memory_order_release);
    }
    return added;
}

bool PosixFiles::namesInUse(const std::string& directory) const
{
    const std::shared_lock lock(m_lock);
    return std::any_of(m_directories.begin(), m_directories.end(),
        [&](const auto& known) { return known->path == directory && known->names.inUse(); });
}

Result<FileMeasurement> PosixFiles::measureIn(const std::string& directory, std::string_view relative)
{
    Directory& searched = directoryOf(directory);
    // The name stays inside the directory, as it would appended to it.
    while (!relative.empty() && (relative.front() == '/' || relative.front() == '\\'))
        relative.remove_prefix(1);
    if (searched.handle < 0 || !isUsablePath(relative))
        return measure(directory + std::string(relative));
    // Each thread keeps its room for the name from one lookup to the next.
    thread_local std::string name;
    name.assign(relative);
    if (name.find('\\') != std::string::npos)
        std::replace(name.begin(), name.end(), '\\', '/');
    // The names only spare a lookup: while another thread reads or forgets
    // them, the file system is asked instead of waiting for them.
    if (searched.names.certainlyAbsent(searched.handle, name))
        return Error::of(error::fileNotFound);
    struct stat status { };
    if (::fstatat(searched.handle, name.c_str(), &status, 0) != 0) {
        const int failure = errno;
        if (failure != ENOENT)
            return errorFromOs(failure);
        // Missing: 53 where its own directory is there, 76 where it is not.
        const std::size_t slash = name.rfind('/');
        if (slash == std::string::npos) {
            searched.names.noteMiss(searched.handle);
            return Error::of(error::fileNotFound);
        }
        name.resize(slash);
        struct stat parent { };
        const bool parentThere = ::fstatat(searched.handle, name.c_str(), &parent, 0) == 0 && S_ISDIR(parent.st_mode);
        return Error::of(parentThere ? error::fileNotFound : error::pathNotFound);
    }
    return measurementOf(status);
}

Result<FileMeasurement> PosixFiles::measure(std::string_view hostPath)
{
    if (!isUsablePath(hostPath))
        return Error::of(error::badFileName);
    const std::string path(hostPath);
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0)
        return missingPathError(errno, hostPath);
    return measurementOf(status);
}

std::unique_ptr<SystemFiles> thisSystemsFiles() { return std::make_unique<PosixFiles>(); }

} // namespace deptest
