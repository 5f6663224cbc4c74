#include "tests/support/ScratchDisk.h"

#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <utility>

namespace deptest::test {

namespace {

bool privateNamespace = false;

} // namespace

bool enterPrivateMountNamespace()
{
    if (privateNamespace)
        return true;
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0)
        return false;
    // Mounts made here must not propagate back to the machine's namespace.
    privateNamespace = mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    return privateNamespace;
}

ScratchDisk::ScratchDisk(std::string directory, std::size_t bytes)
    : m_directory(std::move(directory))
{
    if (!privateNamespace)
        return;
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
    m_mounted = mount("deptest-scratch", m_directory.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
}

ScratchDisk::~ScratchDisk()
{
    if (m_mounted)
        umount2(m_directory.c_str(), MNT_DETACH);
}

bool ScratchDisk::makeReadOnly()
{
    return m_mounted && mount(nullptr, m_directory.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

} // namespace deptest::test
