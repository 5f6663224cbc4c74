#pragma once

#include "tests/support/Requirement.h"

#include <cstddef>
#include <string>

namespace deptest::test {

// Gives the test process a mount namespace of its own, so that the disks
// below vanish with the process however it ends. Call it from the test's
// initMain(), while the process still has a single thread. Returns false
// where it cannot be done (not root, or no namespaces).
bool enterPrivateMountNamespace();

// A small disk of its own mounted over a directory: a real full disk or a
// real read-only one, faults that permission bits cannot make for root.
// Whatever the directory held is hidden while the disk is mounted.
class ScratchDisk {
public:
    ScratchDisk(std::string directory, std::size_t bytes);
    ~ScratchDisk();
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;

    // False when the disk could not be mounted; the test should skip.
    [[nodiscard]] bool isMounted() const { return m_mounted; }
    // From now on every attempt to write to the disk fails.
    [[nodiscard]] bool makeReadOnly();

private:
    std::string m_directory;
    bool m_mounted { false };
};

} // namespace deptest::test
