#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace deptest {

// An advisory lock on one folder, so that two runs of the program never
// read and write the same lists at once. The system lets go of it when the
// process ends, however it ends, so no lock is ever left behind. Only the
// program's own runs heed it.
class FolderLock {
public:
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    // What one try to take the lock, without waiting, came to.
    struct Attempt {
        // Set when the lock is this process's now.
        std::unique_ptr<FolderLock> lock;
        // Another process holds it: its id, or 0 where the system does not say.
        bool busy { false };
        std::int64_t holder { 0 };
    };
    // Neither held nor busy: the folder's file system has no locks (or the
    // folder cannot be opened, which the run reports itself); the run goes
    // on without one.
    static Attempt tryTake(const std::string& directory);

    // Removes the new versions of the named files that a run ended by
    // force left in the folder (under the names the system's files give
    // them while they are written), plain files only. Only the holder of
    // the lock may, as only a running run could still be writing one.
    // Where the system has to list the whole folder for them, a folder that
    // runs have left tidy is not listed again (see `leaveTidy()`).
    void removeLeftovers(std::span<const std::string_view> fileNames) const;
    // Before the holder writes its first new version: a run ended by force
    // from now on may leave it behind, so the folder is no longer tidy.
    void expectNewVersions() const;
    // The same, for a writer that does not hold the folder's lock (the
    // folder has no locks, or the file written is not one of a run's lists):
    // a new version left there by force is then found by the next run.
    static void expectNewVersionsIn(const std::string& directory);
    // After the holder's last new version has replaced its file or been
    // removed: the folder holds no new version of a run ended by force.
    void leaveTidy() const;

    // A pause between two tries, short enough that a request to end is
    // answered at once.
    static void pause();

private:
    struct Handle;
    explicit FolderLock(std::unique_ptr<Handle> handle);
    std::unique_ptr<Handle> m_handle;
};

} // namespace deptest
