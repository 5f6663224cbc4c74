#include "system/posix/DirectoryNames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>

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

std::int64_t nanoseconds(const timespec& time) { return std::int64_t { time.tv_sec } * 1'000'000'000 + time.tv_nsec; }

} // namespace

DirectoryNames::Changing::Changing(DirectoryNames& names)
    : m_names(names)
{
    std::size_t taken = 0;
    while (taken < askingLocks && names.m_asking[taken].mutex.try_lock())
        ++taken;
    m_held = taken == askingLocks;
    if (!m_held) {
        while (taken > 0)
            names.m_asking[--taken].mutex.unlock();
    }
}

DirectoryNames::Changing::~Changing()
{
    if (m_held) {
        for (AskingLock& lock : m_names.m_asking)
            lock.mutex.unlock();
    }
}

DirectoryNames::AskingLock& DirectoryNames::askingLock()
{
    static std::atomic<std::size_t> threads { 0 };
    thread_local const std::size_t thread = threads.fetch_add(1, std::memory_order_relaxed);
    return m_asking[thread % askingLocks];
}

bool DirectoryNames::certainlyAbsent(int directory, std::string_view name)
{
    if (!inUse() || name.find('/') != std::string_view::npos)
        return false;
    {
        const std::unique_lock asking(askingLock().mutex, std::try_to_lock);
        if (!asking.owns_lock() || m_state.load(std::memory_order_relaxed) != State::Listed)
            return false;
        if (unchanged(directory))
            return !marked(Hash {}(name)) || !m_names.contains(name);
    }
    // Changed: the names go, unless another thread has them now.
    if (const Changing changing(*this);
        changing.held() && m_state.load(std::memory_order_relaxed) == State::Listed && !unchanged(directory))
        forget();
    return false;
}

void DirectoryNames::noteMiss(int directory)
{
    if (m_state.load(std::memory_order_relaxed) != State::Counting
        || m_misses.fetch_add(1, std::memory_order_relaxed) + 1 < m_readAfter.load(std::memory_order_relaxed))
        return;
    // Read by one thread; a miss while another asks leaves it to a later one.
    if (const Changing changing(*this); changing.held() && m_state.load(std::memory_order_relaxed) == State::Counting
        && m_misses.load(std::memory_order_relaxed) >= m_readAfter.load(std::memory_order_relaxed))
        read(directory);
}

void DirectoryNames::read(int directory)
{
    m_misses.store(0, std::memory_order_relaxed);
    if (!findsExactNames(directory)) {
        m_state.store(State::Unusable, std::memory_order_relaxed);
        return;
    }
    timespec changed {};
    timespec askedAt {};
    bool tooMany = false;
    if (!readNames(directory, changed, askedAt, tooMany)) {
        m_state.store(tooMany ? State::Unusable : State::Counting, std::memory_order_relaxed);
        m_names.clear();
        readLater();
        return;
    }
    if (foldsCase(directory)) {
        m_state.store(State::Unusable, std::memory_order_relaxed);
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
    markNames();
    m_changed = changed;
    m_askedAt.store(nanoseconds(askedAt), std::memory_order_relaxed);
    m_state.store(State::Listed, std::memory_order_release);
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
    timespec clock {};
    ::clock_gettime(freshnessClock, &clock);
    const std::int64_t now = nanoseconds(clock);
    if (now == m_askedAt.load(std::memory_order_relaxed))
        return true;
    timespec changed {};
    if (!changeTime(directory, changed) || !(changed == m_changed))
        return false;
    // Asked in this tick: the answers of the rest of it may rest on it. A
    // thread that asked in an earlier tick does not set it back.
    for (std::int64_t asked = m_askedAt.load(std::memory_order_relaxed);
         asked < now && !m_askedAt.compare_exchange_weak(asked, now, std::memory_order_relaxed);) { }
    return true;
}

void DirectoryNames::readLater()
{
    // A directory that keeps changing is read ever more rarely, at most
    // every `mostMissesBeforeRead` misses (the count stays far from overflowing).
    m_readAfter.store(
        std::min(m_readAfter.load(std::memory_order_relaxed) * 2, mostMissesBeforeRead), std::memory_order_relaxed);
}

void DirectoryNames::markNames()
{
    std::size_t words = 1;
    while (words * 64 < m_names.size() * 16)
        words *= 2;
    m_marks.assign(words, 0);
    for (const std::string& name : m_names) {
        const std::size_t bit = Hash {}(name) & (words * 64 - 1);
        m_marks[bit / 64] |= std::uint64_t { 1 } << (bit % 64);
    }
}

bool DirectoryNames::marked(std::size_t hash) const
{
    const std::size_t bit = hash & (m_marks.size() * 64 - 1);
    return ((m_marks[bit / 64] >> (bit % 64)) & 1) != 0;
}

void DirectoryNames::forget()
{
    m_names.clear();
    m_marks.clear();
    m_state.store(State::Counting, std::memory_order_relaxed);
    m_misses.store(0, std::memory_order_relaxed);
}

} // namespace deptest
