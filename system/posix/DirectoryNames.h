#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace deptest {

// The names one directory holds, read at once, so that asking the
// directory for a name it does not hold costs no lookup by path. A search
// asks the same few directories about every entry of a list, and most of
// the answers are "not here": those lookups were most of a test run's time.
//
// The names answer only where they cannot differ from a lookup:
// - on file systems that find a name exactly as it is written (ext2/3/4,
//   XFS, Btrfs, tmpfs, and overlays of them), in a directory that does not
//   fold case, and where a name in other case is not found (a probe);
// - while the directory's change time is what it was when the names were
//   read, asked again whenever the coarse clock has moved on since it was
//   last asked (so an answer is never older than one tick, 4 ms on
//   Debian's kernels: as if the entry had been looked for that much
//   earlier, which no run can tell from another; the coarse clock costs
//   no serialising read of the processor's counter on every answer);
//   names read in the clock tick of the directory's last change are not
//   used, since a change later in that tick would leave the same time.
// A directory is read only after it has missed often, so a directory that
// holds what is looked for is never read.
//
// Several threads may ask at once: each asks under a lock of its own, so
// that asking writes nothing the other cores read, and what changes the
// names (reading or forgetting them) takes all of those locks. A thread
// that finds the names being changed meanwhile gets no answer (the file
// system is asked instead) rather than waiting, and one that finds them
// asked about changes nothing until a later miss.
class DirectoryNames {
public:
    // True only when the directory (an open handle) certainly does not hold
    // `name`, a single name without a slash.
    [[nodiscard]] bool certainlyAbsent(int directory, std::string_view name);
    // A lookup in the directory found nothing.
    void noteMiss(int directory);
    [[nodiscard]] bool inUse() const { return m_state.load(std::memory_order_acquire) == State::Listed; }

    // Misses before the directory is read, and names beyond which it is not.
    static constexpr int firstReadAfter = 64;
    static constexpr int mostMissesBeforeRead = 1 << 20;
    static constexpr std::size_t mostNames = 250'000;
    // The clock whose tick an answer may rest on the change time for.
    static constexpr clockid_t freshnessClock = CLOCK_MONOTONIC_COARSE;

private:
    enum class State { Counting, Listed, Unusable };
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view name) const { return std::hash<std::string_view> {}(name); }
    };

    void read(int directory);
    // Reads the names; false when the directory changed meanwhile or a name
    // too many was found (`tooMany`). `askedAt` is when the change time was
    // last asked, on the freshness clock.
    bool readNames(int directory, timespec& changed, timespec& askedAt, bool& tooMany);
    [[nodiscard]] bool foldsCase(int directory) const;
    // Under any of the locks.
    [[nodiscard]] bool unchanged(int directory);
    void readLater();
    void forget();
    // Sets a bit for each name read.
    void markNames();
    [[nodiscard]] bool marked(std::size_t hash) const;

    // One thread's lock, on a cache line of its own.
    struct alignas(64) AskingLock {
        std::mutex mutex;
    };
    static constexpr std::size_t askingLocks = 32;
    // Every asking lock, or none when one of them is held.
    class Changing {
    public:
        explicit Changing(DirectoryNames& names);
        ~Changing();
        Changing(const Changing&) = delete;
        Changing& operator=(const Changing&) = delete;
        [[nodiscard]] bool held() const { return m_held; }

    private:
        DirectoryNames& m_names;
        bool m_held { false };
    };
    AskingLock& askingLock();

    std::array<AskingLock, askingLocks> m_asking;
    // Looked at without a lock; changed only under all of them.
    std::atomic<State> m_state { State::Counting };
    std::atomic<int> m_misses { 0 };
    std::atomic<int> m_readAfter { firstReadAfter }; // doubles after each read that could not be used
    timespec m_changed {};
    // When the change time was last asked and found as it was, on the
    // freshness clock, in nanoseconds: any thread asking may move it on.
    std::atomic<std::int64_t> m_askedAt { 0 };
    std::unordered_set<std::string, Hash, std::equal_to<>> m_names;
    // A bit for each name's hash, some sixteen bits a name: most names
    // asked are not there, and a clear bit says so from a few kilobytes,
    // where the set would be walked through nodes all over memory.
    std::vector<std::uint64_t> m_marks;
};

} // namespace deptest
