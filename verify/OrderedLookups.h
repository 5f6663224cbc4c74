#pragma once

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <thread>
#include <vector>

namespace deptest {

// A command's number of jobs that lets the program choose (see
// chooseLookupJobs()), and the most it takes.
inline constexpr int chosenLookupJobs = 0;
inline constexpr int mostLookupJobs = 64;
// The lookups kept under way where a share answers: each request waits for
// the server, and this many answer in about the time of one.
inline constexpr int remoteLookupJobs = 16;

// The lookups of a list's entries (searches, measurements, digests) run
// on a few workers, while their results are taken back on the calling
// thread strictly in the order the lookups were added: whatever the
// results lead to (lines, records, messages) comes out as if each entry
// had been looked up in turn. At most `window` lookups are added and not
// yet taken, so a list of any length holds that many results at a time.
//
// A lookup calls only what may run beside other lookups: the runtime's
// measurements and digests, never its dates, messages or events.
template <typename Result> class OrderedLookups {
public:
    // A lookup fills its result; asked to stop, it may leave it half done.
    using Lookup = std::function<void(Result&, std::stop_token)>;

    OrderedLookups(int workers, std::size_t window)
        : m_window(window < 1 ? 1 : window)
    {
        m_workers.reserve(static_cast<std::size_t>(workers < 1 ? 1 : workers));
        for (int i = 0; i < (workers < 1 ? 1 : workers); ++i)
            m_workers.emplace_back([this] { work(); });
    }
    // Lookups not yet started are dropped; those under way are asked to
    // stop and waited for.
    ~OrderedLookups()
    {
        stop();
        {
            std::lock_guard lock(m_mutex);
            m_closing = true;
        }
        m_wake.notify_all();
        m_workers.clear(); // joins
    }
    OrderedLookups(const OrderedLookups&) = delete;
    OrderedLookups& operator=(const OrderedLookups&) = delete;

    [[nodiscard]] bool full() const { return m_slots.size() >= m_window; }
    [[nodiscard]] bool empty() const { return m_slots.empty(); }

    // Adds the lookup after the others; `full()` must be false.
    void add(Lookup lookup)
    {
        {
            std::lock_guard lock(m_mutex);
            m_slots.emplace_back().lookup = std::move(lookup);
            m_waiting.push_back(&m_slots.back());
        }
        m_wake.notify_one();
    }

    // The result of the oldest lookup not yet taken, once it is done;
    // until then `meanwhile` is called, on this thread, every `pause`.
    // Valid until `pop()`.
    template <typename Rep, typename Period>
    Result& oldest(const std::function<void()>& meanwhile, std::chrono::duration<Rep, Period> pause)
    {
        std::unique_lock lock(m_mutex);
        Slot& slot = m_slots.front();
        while (!slot.done) {
            // Woken when this lookup ends (the others end unheard), or
            // after the pause.
            m_awaited = &slot;
            m_done.wait_for(lock, pause, [&slot] { return slot.done; });
            m_awaited = nullptr;
            if (slot.done)
                break;
            if (meanwhile) {
                lock.unlock();
                meanwhile();
                lock.lock();
            }
        }
        return slot.result;
    }
    // Lets go of the oldest result, making room for another lookup.
    void pop()
    {
        std::lock_guard lock(m_mutex);
        m_slots.pop_front();
    }
    // Asks the lookups under way to stop; none starts after this.
    void stop()
    {
        m_stop.request_stop();
        std::lock_guard lock(m_mutex);
        for (Slot* slot : m_waiting)
            slot->done = true;
        m_waiting.clear();
        m_done.notify_all();
    }

private:
    struct Slot {
        Lookup lookup;
        Result result {};
        bool done { false };
    };

    void work()
    {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_wake.wait(lock, [this] { return m_closing || !m_waiting.empty(); });
            if (m_waiting.empty())
                return;
            Slot* slot = m_waiting.front();
            m_waiting.pop_front();
            lock.unlock();
            // A slot stays where it is until its result is taken, which is
            // after it is done: the worker has it to itself meanwhile.
            slot->lookup(slot->result, m_stop.get_token());
            slot->lookup = nullptr;
            lock.lock();
            slot->done = true;
            if (slot == m_awaited)
                m_done.notify_all();
        }
    }

    std::size_t m_window;
    std::mutex m_mutex;
    std::condition_variable m_wake; // a lookup was added, or the workers are to end
    std::condition_variable m_done; // the awaited lookup is done, or all are stopped
    const Slot* m_awaited { nullptr }; // the one `oldest()` waits for
    // Added and not yet taken, oldest first; a deque keeps each in place.
    std::deque<Slot> m_slots;
    std::deque<Slot*> m_waiting; // not yet started, oldest first
    std::stop_source m_stop;
    bool m_closing { false };
    std::vector<std::jthread> m_workers; // last: joined before the rest goes
};

// How many items the batch numbered `index` (from 0) holds: one, then
// twice as many each time, up to 64.
constexpr std::size_t batchSize(std::size_t index) { return index >= 6 ? 64 : std::size_t { 1 } << index; }

// Reads items on this thread with `read` (false at the end, leaving the
// item unused), looks them up on `jobs` workers with `lookUp`, and hands
// each to `take` on this thread in the order read, until the items end or
// `take` answers false. While the oldest item is not looked up yet,
// `meanwhile` is called every `pause` at least; when it answers false the
// lookups under way are asked to stop and no item is taken any more.
//
// Items go to the workers in batches, which grow from one item to a few
// dozen: a short list is spread over every worker at once, and on a fast
// disk the handing over costs little beside the lookups of a batch. A
// batch taken is read into again, so that its items keep the room of
// their strings from one batch to the next: `read` and `lookUp` replace
// whatever an item held.
template <typename Item, typename Rep, typename Period>
void lookUpInOrder(int jobs, const std::function<bool(Item&)>& read,
    const std::function<void(Item&, const std::stop_token&)>& lookUp, const std::function<bool(Item&)>& take,
    const std::function<bool()>& meanwhile, std::chrono::duration<Rep, Period> pause)
{
    using Batch = std::vector<Item>;
    std::vector<Batch> taken; // batches to read into again
    OrderedLookups<Batch> inFlight(jobs, 2 * static_cast<std::size_t>(jobs < 1 ? 1 : jobs));
    bool goOn = true;
    const auto waiting = [&] {
        if (goOn && meanwhile && !meanwhile()) {
            goOn = false;
            inFlight.stop();
        }
    };
    std::size_t batches = 0;
    bool ended = false;
    while (goOn) {
        while (!ended && !inFlight.full()) {
            Batch batch;
            if (!taken.empty()) {
                batch = std::move(taken.back());
                taken.pop_back();
            }
            batch.resize(batchSize(batches++));
            std::size_t count = 0;
            while (count < batch.size() && !(ended = !read(batch[count])))
                ++count;
            batch.resize(count);
            if (batch.empty())
                break;
            inFlight.add([&lookUp, batch = std::move(batch)](Batch& looked, const std::stop_token& stop) mutable {
                looked = std::move(batch);
                for (Item& item : looked) {
                    if (stop.stop_requested())
                        return;
                    lookUp(item, stop);
                }
            });
        }
        if (inFlight.empty())
            return;
        Batch& batch = inFlight.oldest(waiting, pause);
        for (Item& item : batch) {
            if (!goOn || !take(item))
                return;
        }
        taken.push_back(std::move(batch));
        inFlight.pop();
    }
}

} // namespace deptest
