#include "system/FolderLock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace deptest {

// The folder itself is locked with flock(): it needs no file of its own,
// so a folder the user may not write is locked too.
struct FolderLock::Handle {
    std::string directory;
    int descriptor { -1 };
    ~Handle()
    {
        if (descriptor >= 0)
            ::close(descriptor);
    }
};

namespace {

// The process holding an flock() on the file with this identity, as
// /proc/locks lists it ("1: FLOCK  ADVISORY  WRITE 4242 08:01:1234 0 EOF",
// the device as hexadecimal major:minor); 0 when it is not listed.
std::int64_t flockHolder(const struct stat& locked)
{
    std::ifstream locks("/proc/locks");
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%llu", ::major(locked.st_dev), ::minor(locked.st_dev),
        static_cast<unsigned long long>(locked.st_ino));
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string number, kind, mode, access, identity;
        std::int64_t process = 0;
        // A lock that others wait for is listed again after "->".
        if (!(fields >> number >> kind) || kind == "->" || kind != "FLOCK")
            continue;
        if (fields >> mode >> access >> process >> identity && identity == wanted)
            return process;
    }
    return 0;
}

// In a folder runs have left tidy: while it is there, no run was ended by
// force since the folder was last listed for leftovers, so they need not be
// looked for among what may be many thousands of names. Whoever writes a
// new version into the folder removes it first, and a run holding the lock
// puts it back when all of its own are done; one ended by force meanwhile
// leaves the folder without it. (A version of the program that did not know
// the mark neither removes nor heeds it: one of those ended by force in a
// folder a newer one left tidy leaves its new versions there until the
// folder is listed again.)
constexpr const char* tidyMark = ".deptest-tidy";

// A new version of `file` as PosixFiles writes it: ".file.XXXXXX".
bool isNewVersionOf(std::string_view name, std::string_view file)
{
    constexpr std::size_t suffix = 6;
    if (name.size() != file.size() + suffix + 2 || name.front() != '.' || name.substr(1, file.size()) != file
        || name[file.size() + 1] != '.')
        return false;
    for (const char c : name.substr(file.size() + 2)) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')))
            return false;
    }
    return true;
}

} // namespace

FolderLock::FolderLock(std::unique_ptr<Handle> handle)
    : m_handle(std::move(handle))
{
}

FolderLock::~FolderLock() = default;

FolderLock::Attempt FolderLock::tryTake(const std::string& directory)
{
    auto handle = std::make_unique<Handle>();
    handle->directory = directory.empty() ? std::string(".") : directory;
    handle->descriptor = ::open(handle->directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle->descriptor < 0)
        return {};
    while (::flock(handle->descriptor, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK)
            return {}; // a file system without locks
        Attempt busy;
        busy.busy = true;
        if (struct stat status {}; ::fstat(handle->descriptor, &status) == 0)
            busy.holder = flockHolder(status);
        return busy;
    }
    Attempt taken;
    taken.lock.reset(new FolderLock(std::move(handle)));
    return taken;
}

void FolderLock::removeLeftovers(std::span<const std::string_view> fileNames) const
{
    struct stat mark { };
    if (::fstatat(m_handle->descriptor, tidyMark, &mark, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(mark.st_mode))
        return;
    const int listing = ::openat(m_handle->descriptor, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        return;
    DIR* folder = ::fdopendir(listing);
    if (folder == nullptr) {
        ::close(listing);
        return;
    }
    // A folder may hold many thousands of files (those a list names): each
    // name is looked at where the system put it, and only a hidden one further.
    // The folder is left tidy only when it was listed to its end and every
    // leftover went.
    bool tidy = true;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(folder);
        if (entry == nullptr) {
            tidy = tidy && errno == 0;
            break;
        }
        const char* name = entry->d_name;
        if (name[0] != '.')
            continue;
        const std::string_view hidden(name);
        struct stat status { };
        const bool leftover = std::any_of(fileNames.begin(), fileNames.end(),
            [&hidden](std::string_view file) { return isNewVersionOf(hidden, file); });
        // Best effort: one that stays harms nothing, and is looked for again.
        if (leftover && ::fstatat(m_handle->descriptor, name, &status, AT_SYMLINK_NOFOLLOW) == 0
            && S_ISREG(status.st_mode) && ::unlinkat(m_handle->descriptor, name, 0) != 0 && errno != ENOENT)
            tidy = false;
    }
    ::closedir(folder);
    if (tidy)
        leaveTidy();
}

void FolderLock::expectNewVersions() const
{
    // Gone for good before the first new version appears: the folder is
    // synced, lest a power cut bring the mark back beside a new version.
    if (::unlinkat(m_handle->descriptor, tidyMark, 0) == 0)
        (void)::fsync(m_handle->descriptor);
}

void FolderLock::expectNewVersionsIn(const std::string& directory)
{
    const std::string folder = directory.empty() ? std::string(".") : directory;
    const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return; // the new version cannot be written there either
    if (::unlinkat(descriptor, tidyMark, 0) == 0)
        (void)::fsync(descriptor);
    ::close(descriptor);
}

void FolderLock::leaveTidy() const
{
    // Best effort: a folder this user may not write is listed each time.
    const int mark = ::openat(m_handle->descriptor, tidyMark, O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (mark >= 0)
        ::close(mark);
}

} // namespace deptest
