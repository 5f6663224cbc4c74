#include "system/FileSystem.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>

#include <dirent.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/utsname.h>

namespace deptest {

PathStatus statusOf(const std::string& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) == 0)
        return { Presence::Found,
            { static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino) } };
    return { errno == ENOENT || errno == ENOTDIR ? Presence::Missing : Presence::Unreadable, {} };
}

std::optional<std::string> realPath(const std::string& path)
{
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr)
        return std::nullopt;
    std::string result(resolved);
    std::free(resolved); // NOLINT(cppcoreguidelines-no-malloc)
    return result;
}

std::vector<std::string> namesInDirectory(const std::string& directory)
{
    std::vector<std::string> names;
    if (DIR* listing = ::opendir(directory.c_str())) {
        while (const dirent* file = ::readdir(listing))
            names.emplace_back(file->d_name);
        ::closedir(listing);
    }
    return names;
}

bool isRemoteFolder(const std::string& directory)
{
    // The network and cluster file systems the kernel knows or is given,
    // and FUSE, which answers from a process of its own.
    static constexpr std::array<unsigned long, 17> remote { NFS_SUPER_MAGIC, SMB_SUPER_MAGIC, CIFS_SUPER_MAGIC,
        SMB2_SUPER_MAGIC, V9FS_MAGIC, AFS_SUPER_MAGIC, 0x6B414653 /* kAFS */, CEPH_SUPER_MAGIC, CODA_SUPER_MAGIC,
        NCP_SUPER_MAGIC, OCFS2_SUPER_MAGIC, 0x01161970 /* GFS2 */, 0x0BD00BD0 /* Lustre */, 0x47504653 /* GPFS */,
        0x19830326 /* BeeGFS */, 0xAAD7AAEA /* PanFS */, FUSE_SUPER_MAGIC };
    struct statfs system { };
    if (::statfs(directory.c_str(), &system) != 0)
        return false;
    const auto type = static_cast<unsigned long>(system.f_type) & 0xFFFFFFFFUL;
    return std::find(remote.begin(), remote.end(), type) != remote.end();
}

char pathSeparator() { return '/'; }

bool isPathSeparator(char c) { return c == '/'; }

std::string folderOf(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& name)
{
    return folder.ends_with('/') ? folder + name : folder + "/" + name;
}

std::string machineHardwareName()
{
    utsname system {};
    return ::uname(&system) == 0 ? std::string(system.machine) : std::string();
}

} // namespace deptest
