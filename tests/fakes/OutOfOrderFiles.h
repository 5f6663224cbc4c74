#pragma once

#include "services/Files.h"
#include "services/SystemFiles.h"
#include "verify/OrderedLookups.h"

#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace deptest::test {

// Files whose measurements come back out of order: the first measurement of a held name waits until a
// measurement of its partner has returned and the run has handled its
// events after that (`release()`). With lookups in flight, the later
// entry's answer is then always there first, and the run has looked at
// what was there; looked up in turn, a held name would wait for ever, so
// only runs with several jobs use it. Where nothing of the run can release
// them, a name is let go once its partner's digest has returned instead.
class OutOfOrderFiles final : public SystemFiles {
public:
    // Each `held` name (the last part of a path) waits for its `partner`.
    OutOfOrderFiles(SystemFiles& files, std::map<std::string, std::string> heldUntil, bool releasedByDigests = false)
        : m_files(files)
        , m_heldUntil(std::move(heldUntil))
        , m_releasedByDigests(releasedByDigests)
    {
    }

    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override
    {
        return m_files.openForReading(path);
    }
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override
    {
        return m_files.openForWriting(path);
    }
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override
    {
        return m_files.openForReplacing(path);
    }
    Result<FileMeasurement> measure(std::string_view path) override
    {
        const std::string name = nameOf(path);
        waitForPartner(name);
        Result<FileMeasurement> measured = m_files.measure(path);
        std::lock_guard lock(m_mutex);
        m_measured.insert(name);
        return measured;
    }
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) override
    {
        return measure(directory + std::string(relative));
    }
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override
    {
        Result<ContentDigest> digest = m_files.digest(path, betweenBlocks);
        if (m_releasedByDigests) {
            {
                std::lock_guard lock(m_mutex);
                m_released.insert(nameOf(path));
            }
            m_changed.notify_all();
        }
        return digest;
    }
    Outcome remove(std::string_view path) override { return m_files.remove(path); }

    // Lets go of the names held for partners measured by now.
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released.insert(m_measured.begin(), m_measured.end());
        }
        m_changed.notify_all();
    }

private:
    static std::string nameOf(std::string_view path)
    {
        const std::size_t separator = path.find_last_of("\\/");
        return std::string(separator == std::string_view::npos ? path : path.substr(separator + 1));
    }
    void waitForPartner(const std::string& name)
    {
        const auto held = m_heldUntil.find(name);
        if (held == m_heldUntil.end())
            return;
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_released.contains(held->second); });
    }

    SystemFiles& m_files;
    const std::map<std::string, std::string> m_heldUntil;
    const bool m_releasedByDigests;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::set<std::string> m_measured;
    std::set<std::string> m_released;
};

// For a list of `count` names made by `nameOf(index)`: the last name of
// every other batch of lookups held until the last name of the batch
// after it, so that the later batch is looked up first.
template <typename NameOf> std::map<std::string, std::string> heldAcrossBatches(std::size_t count, NameOf nameOf)
{
    std::vector<std::size_t> ends; // one past each batch
    for (std::size_t batch = 0, end = 0; end < count; ++batch)
        ends.push_back(end = std::min(count, end + batchSize(batch)));
    std::map<std::string, std::string> held;
    for (std::size_t batch = 0; batch + 1 < ends.size(); batch += 2)
        held[nameOf(ends[batch] - 1)] = nameOf(ends[batch + 1] - 1);
    return held;
}

} // namespace deptest::test
