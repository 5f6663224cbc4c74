#include "system/posix/DirectoryNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#endif

namespace deptest {

namespace {

bool operator==(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
bool operator<(const timespec& a, const timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool changeTime(int directory, timespec& changed)
{
    struct stat status { };
    if (::fstat(directory, &status) != 0)
        return false;
    changed = status.st_ctim;
    return true;
}

// File systems that find a name only as it is written, byte for byte.
bool findsExactNames(int directory)
{
#ifdef __linux__
    struct statfs system { };
    if (::fstatfs(directory, &system) != 0)
        return false;
    switch (static_cast<unsigned long>(system.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case OVERLAYFS_SUPER_MAGIC: return true;
    default: return false;
    }
#else
    (void)directory;
    return false;
#endif
}

std::string otherCase(std::string_view name)
{
    std::string other(name);
    for (char& c : other) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::islower(byte))
            c = static_cast<char>(std::toupper(byte));
        else if (std::isupper(byte))
            c = static_cast<char>(std::tolower(byte));
    }
    return other;
}

} // namespace

bool DirectoryNames::certainlyAbsent(int directory, std::string_view name)
{
    if (m_state != State::Listed || name.find('/') != std::string_view::npos)
        return false;
    if (!unchanged(directory)) {
        forget();
        return false;
    }
    return !m_names.contains(name);
}

void DirectoryNames::noteMiss(int directory)
{
    if (m_state == State::Counting && ++m_misses >= m_readAfter)
        read(directory);
}

void DirectoryNames::read(int directory)
{
    m_misses = 0;
    if (!findsExactNames(directory)) {
        m_state = State::Unusable;
        return;
    }
    timespec changed {};
    timespec askedAt {};
    bool tooMany = false;
    if (!readNames(directory, changed, askedAt, tooMany)) {
        m_state = tooMany ? State::Unusable : State::Counting;
        m_names.clear();
        readLater();
        return;
    }
    if (foldsCase(directory)) {
        m_state = State::Unusable;
        m_names.clear();
        return;
    }
    // Names read in the tick of the last change might miss a change later
    // in that tick, which would leave the change time as it is.
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    if (!(changed < now)) {
        m_names.clear();
        readLater();
        return;
    }
    m_changed = changed;
    m_askedAt = askedAt;
    m_state = State::Listed;
}

bool DirectoryNames::readNames(int directory, timespec& changed, timespec& askedAt, bool& tooMany)
{
    const int readable = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return false;
    DIR* listing = ::fdopendir(readable);
    if (listing == nullptr) {
        ::close(readable);
        return false;
    }
    timespec before {};
    bool complete = changeTime(directory, before);
    m_names.clear();
    while (complete) {
        errno = 0;
        const dirent* entry = ::readdir(listing);
        if (entry == nullptr) {
            complete = errno == 0;
            break;
        }
        m_names.emplace(entry->d_name);
        tooMany = m_names.size() > mostNames;
        complete = !tooMany;
    }
    ::closedir(listing);
    // Taken before the change time is asked, so that no change after the
    // ask can hide behind a later clock reading.
    ::clock_gettime(freshnessClock, &askedAt);
    timespec after {};
    changed = before;
    return complete && changeTime(directory, after) && after == before;
}

bool DirectoryNames::foldsCase(int directory) const
{
#if defined(__linux__) && defined(FS_CASEFOLD_FL)
    const int readable = ::openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return true;
    int flags = 0;
    const bool folding = ::ioctl(readable, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    ::close(readable);
    if (folding)
        return true;
#endif
    // A few names asked for in other case: a file system that finds them
    // finds names not as written.
    int probes = 0;
    for (const std::string& name : m_names) {
        const std::string other = otherCase(name);
        if (other == name || m_names.contains(other))
            continue;
        struct stat status { };
        if (::fstatat(directory, other.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            return true;
        if (++probes == 3)
            break;
    }
    return false;
}

bool DirectoryNames::unchanged(int directory)
{
    timespec now {};
    ::clock_gettime(freshnessClock, &now);
    if (now == m_askedAt)
        return true;
    m_askedAt = now;
    timespec changed {};
    return changeTime(directory, changed) && changed == m_changed;
}

void DirectoryNames::readLater()
{
    // A directory that keeps changing is read ever more rarely, at most
    // every `mostMissesBeforeRead` misses (the count stays far from overflowing).
    m_readAfter = std::min(m_readAfter * 2, mostMissesBeforeRead);
}

void DirectoryNames::forget()
{
    m_names.clear();
    m_state = State::Counting;
    m_misses = 0;
}

} // namespace deptest
