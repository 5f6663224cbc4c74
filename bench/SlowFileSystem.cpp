// A pass-through file system that answers every request after a delay, as
// a share on a near server does: the benchmark of lookups in flight mounts
// a folder through it. The kernel keeps no answer (attributes, names,
// misses), so every lookup is a request. Requests are served by several
// threads at once, as a server serves several clients' requests.
//
//   bench_slowfs SOURCE MOUNTPOINT DELAY_MICROSECONDS [FUSE OPTIONS...]

#define FUSE_USE_VERSION 31

#include <fuse3/fuse.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string source;
std::chrono::microseconds delay { 0 };

std::string real(const char* path) { return source + path; }

void wait() { std::this_thread::sleep_for(delay); }

int failed(int result) { return result < 0 ? -errno : result; }

void* start(fuse_conn_info* /*connection*/, fuse_config* config)
{
    config->attr_timeout = 0;
    config->entry_timeout = 0;
    config->negative_timeout = 0;
    config->use_ino = 1;
    return nullptr;
}

int getattrSlowly(const char* path, struct stat* status, fuse_file_info* file)
{
    wait();
    if (file != nullptr)
        return failed(::fstat(static_cast<int>(file->fh), status));
    return failed(::lstat(real(path).c_str(), status));
}

int readdirSlowly(const char* path, void* buffer, fuse_fill_dir_t fill, off_t /*offset*/, fuse_file_info* /*file*/,
    fuse_readdir_flags /*flags*/)
{
    wait();
    DIR* directory = ::opendir(real(path).c_str());
    if (directory == nullptr)
        return -errno;
    while (const dirent* entry = ::readdir(directory))
        fill(buffer, entry->d_name, nullptr, 0, static_cast<fuse_fill_dir_flags>(0));
    ::closedir(directory);
    return 0;
}

int openSlowly(const char* path, fuse_file_info* file)
{
    wait();
    const int descriptor = ::open(real(path).c_str(), file->flags);
    if (descriptor < 0)
        return -errno;
    file->fh = static_cast<std::uint64_t>(descriptor);
    return 0;
}

int createSlowly(const char* path, mode_t mode, fuse_file_info* file)
{
    wait();
    const int descriptor = ::open(real(path).c_str(), file->flags, mode);
    if (descriptor < 0)
        return -errno;
    file->fh = static_cast<std::uint64_t>(descriptor);
    return 0;
}

int readSlowly(const char* /*path*/, char* buffer, std::size_t size, off_t offset, fuse_file_info* file)
{
    wait();
    return static_cast<int>(failed(static_cast<int>(::pread(static_cast<int>(file->fh), buffer, size, offset))));
}

int writeSlowly(const char* /*path*/, const char* buffer, std::size_t size, off_t offset, fuse_file_info* file)
{
    wait();
    return failed(static_cast<int>(::pwrite(static_cast<int>(file->fh), buffer, size, offset)));
}

int releaseSlowly(const char* /*path*/, fuse_file_info* file) { return failed(::close(static_cast<int>(file->fh))); }

int fsyncSlowly(const char* /*path*/, int /*dataOnly*/, fuse_file_info* file)
{
    wait();
    return failed(::fsync(static_cast<int>(file->fh)));
}

int truncateSlowly(const char* path, off_t size, fuse_file_info* file)
{
    wait();
    if (file != nullptr)
        return failed(::ftruncate(static_cast<int>(file->fh), size));
    return failed(::truncate(real(path).c_str(), size));
}

int renameSlowly(const char* from, const char* to, unsigned int /*flags*/)
{
    wait();
    return failed(::rename(real(from).c_str(), real(to).c_str()));
}

int unlinkSlowly(const char* path)
{
    wait();
    return failed(::unlink(real(path).c_str()));
}

int chmodSlowly(const char* path, mode_t mode, fuse_file_info* file)
{
    wait();
    if (file != nullptr)
        return failed(::fchmod(static_cast<int>(file->fh), mode));
    return failed(::chmod(real(path).c_str(), mode));
}

int chownSlowly(const char* path, uid_t owner, gid_t group, fuse_file_info* /*file*/)
{
    wait();
    return failed(::lchown(real(path).c_str(), owner, group));
}

int utimensSlowly(const char* path, const timespec times[2], fuse_file_info* /*file*/)
{
    wait();
    return failed(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int statfsSlowly(const char* path, struct statvfs* status)
{
    wait();
    return failed(::statvfs(real(path).c_str(), status));
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_slowfs SOURCE MOUNTPOINT DELAY_MICROSECONDS [FUSE OPTIONS...]\n");
        return 2;
    }
    char* resolved = ::realpath(argv[1], nullptr);
    if (resolved == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    source = resolved;
    std::free(resolved); // NOLINT(cppcoreguidelines-no-malloc)
    delay = std::chrono::microseconds(std::strtol(argv[3], nullptr, 10));

    fuse_operations operations {};
    operations.init = start;
    operations.getattr = getattrSlowly;
    operations.readdir = readdirSlowly;
    operations.open = openSlowly;
    operations.create = createSlowly;
    operations.read = readSlowly;
    operations.write = writeSlowly;
    operations.release = releaseSlowly;
    operations.fsync = fsyncSlowly;
    operations.truncate = truncateSlowly;
    operations.rename = renameSlowly;
    operations.unlink = unlinkSlowly;
    operations.chmod = chmodSlowly;
    operations.chown = chownSlowly;
    operations.utimens = utimensSlowly;
    operations.statfs = statfsSlowly;

    // In the foreground, so that whoever started it can wait for it.
    std::vector<char*> arguments { argv[0], argv[2], const_cast<char*>("-f") };
    for (int i = 4; i < argc; ++i)
        arguments.push_back(argv[i]);
    return fuse_main(static_cast<int>(arguments.size()), arguments.data(), &operations, nullptr);
}
