#pragma once

#include "errors/Error.h"
#include "services/SystemFiles.h"
#include "system/posix/DirectoryNames.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include <sys/types.h>

namespace deptest {

// The calls that write a file and put it in its place, each answering as
// the system call of its name does (-1 and errno on failure). The files
// are given the system's own, or calls that watch them: the order of the
// syncs and the rename is what lets a replaced list survive a power cut,
// and nothing outside the calls shows it.
class PosixCalls {
public:
    PosixCalls() = default;
    virtual ~PosixCalls() = default;
    PosixCalls(const PosixCalls&) = delete;
    PosixCalls& operator=(const PosixCalls&) = delete;

    virtual int open(const char* path, int flags, mode_t mode);
    // mkostemp(): the X's that end `pattern` become the new file's name.
    virtual int makeUnique(std::string& pattern, int flags);
    virtual ssize_t write(int descriptor, const void* bytes, std::size_t size);
    virtual int truncate(int descriptor, off_t size);
    virtual int sync(int descriptor);
    virtual int close(int descriptor);
    virtual int rename(const char* from, const char* to);
    virtual int unlink(const char* path);
};

// Files on a POSIX system. A path inside a searched directory is looked up
// relative to a handle on the directory kept open. Measurements and digests
// may be asked from several threads at once: what they remember of the
// directories is shared under locks, never held over a lookup.
class PosixFiles final : public SystemFiles {
public:
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view hostPath) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view hostPath) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view hostPath) override;
    Result<FileMeasurement> measure(std::string_view hostPath) override;
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) override;
    // In PosixContents.cpp.
    Result<ContentDigest> digest(std::string_view hostPath, const std::function<bool()>& betweenBlocks) override;
    Outcome remove(std::string_view hostPath) override;
    // Whether the names read from a searched directory answer its misses now.
    [[nodiscard]] bool namesInUse(const std::string& directory) const;

    PosixFiles();
    explicit PosixFiles(std::shared_ptr<PosixCalls> calls);
    ~PosixFiles() override;
    PosixFiles(const PosixFiles&) = delete;
    PosixFiles& operator=(const PosixFiles&) = delete;

private:
    struct Directory {
        std::string path;
        int handle { -1 };
        DirectoryNames names;
    };
    // Stays where it is for the life of the files.
    Directory& directoryOf(const std::string& path);
    // The one added after the first `quickDirectories`, or not found yet.
    Directory& directoryAddedLater(const std::string& path);
    // A path that does not exist is 53 when its directory exists and 76
    // when it does not.
    Error missingPathError(int osError, std::string_view hostPath);

    std::shared_ptr<PosixCalls> m_calls; // those of writing files

    mutable std::shared_mutex m_lock; // over the directories remembered
    // Directories seen to exist. A search misses in the same few
    // directories entry after entry, so each is asked about once. Only
    // existence is remembered: should one vanish later, a miss there still
    // reads 53, "File not found", which is true as well.
    std::unordered_set<std::string> m_existingDirectories;
    std::vector<std::unique_ptr<Directory>> m_directories;
    // The first directories added, found without a lock: a search asks
    // the same few for every entry. Each is set once, under the lock,
    // before the count that makes it visible.
    static constexpr std::size_t quickDirectories = 8;
    std::array<Directory*, quickDirectories> m_quick {};
    std::atomic<std::size_t> m_quickCount { 0 };
};

} // namespace deptest
