#include "verify/OrderedLookups.h"

#include <QTest>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using namespace deptest;

namespace {

// Lookups that end in the reverse of the order they were added: each
// waits until the one after it has ended; the last added waits for
// nothing. The run asks a stop of the pool to let them all go.
struct ReverseOrder {
    std::mutex mutex;
    std::condition_variable_any ended;
    std::vector<bool> done;

    explicit ReverseOrder(std::size_t count)
        : done(count, false)
    {
    }
    void lookUp(std::size_t index, int& result, const std::stop_token& stop)
    {
        std::unique_lock lock(mutex);
        if (index + 1 < done.size())
            ended.wait(lock, stop, [&] { return done[index + 1]; });
        result = static_cast<int>(index);
        done[index] = true;
        ended.notify_all();
    }
};

} // namespace

class tst_OrderedLookups : public QObject {
    Q_OBJECT
private slots:
    void resultsInTheOrderAdded_data();
    void resultsInTheOrderAdded();
    void stopReachesLookupsUnderWayAndDropsTheRest();
    void batchesReadIntoAgainGiveTheirOwnItems();
};

void tst_OrderedLookups::resultsInTheOrderAdded_data()
{
    QTest::addColumn<int>("workers");
    QTest::addColumn<int>("window");
    QTest::newRow("one worker, one at a time") << 1 << 1;
    QTest::newRow("four workers, a window of four") << 4 << 4;
    QTest::newRow("three workers, a window of eight") << 3 << 8;
}

void tst_OrderedLookups::resultsInTheOrderAdded()
{
    // Added a window at a time, each batch ending back to front: what is
    // taken is still in the order added, and never more than a window is
    // added and not taken.
    QFETCH(int, workers);
    QFETCH(int, window);
    const std::size_t batch = window > workers ? static_cast<std::size_t>(workers) : static_cast<std::size_t>(window);
    OrderedLookups<int> lookups(workers, static_cast<std::size_t>(window));
    std::vector<int> taken;
    for (std::size_t start = 0; start < 40; start += batch) {
        auto order = std::make_shared<ReverseOrder>(batch);
        for (std::size_t i = 0; i < batch; ++i) {
            QVERIFY(!lookups.full());
            lookups.add([order, i](int& result, const std::stop_token& stop) { order->lookUp(i, result, stop); });
        }
        QCOMPARE(lookups.full(), batch == static_cast<std::size_t>(window));
        for (std::size_t i = 0; i < batch; ++i) {
            taken.push_back(static_cast<int>(start) + lookups.oldest({}, std::chrono::hours(1)));
            lookups.pop();
        }
        QVERIFY(lookups.empty());
    }
    std::vector<int> expected;
    for (std::size_t i = 0; i < taken.size(); ++i)
        expected.push_back(static_cast<int>(i));
    QCOMPARE(taken, expected);
}

void tst_OrderedLookups::stopReachesLookupsUnderWayAndDropsTheRest()
{
    // One worker, held in the first lookup until the stop: the lookups
    // after it never start, and the one under way sees the stop.
    std::atomic<int> started { 0 };
    std::atomic<bool> sawStop { false };
    {
        OrderedLookups<int> lookups(1, 4);
        lookups.add([&](int&, const std::stop_token& stop) {
            ++started;
            std::mutex mutex;
            std::condition_variable_any never;
            std::unique_lock lock(mutex);
            never.wait(lock, stop, [] { return false; });
            sawStop = stop.stop_requested();
        });
        for (int i = 0; i < 3; ++i)
            lookups.add([&](int&, const std::stop_token&) { ++started; });
        bool stopped = false;
        lookups.oldest(
            [&] {
                // Asked once the first lookup waits: the pool is stopped.
                if (started == 1 && !std::exchange(stopped, true))
                    lookups.stop();
            },
            std::chrono::milliseconds(1));
    }
    QCOMPARE(started.load(), 1);
    QVERIFY(sawStop.load());
}

// Enough items for batches to be read into again, the last one short: each
// item taken is the one read, as its lookup left it, and none twice.
void tst_OrderedLookups::batchesReadIntoAgainGiveTheirOwnItems()
{
    struct Item {
        std::size_t index { 0 };
        std::string text;
        std::string looked;
    };
    constexpr std::size_t count = 1000;
    std::size_t read = 0;
    std::vector<std::string> taken;
    lookUpInOrder<Item>(
        3,
        [&](Item& item) {
            if (read == count)
                return false;
            item.index = read++;
            item.text.assign(item.index % 37, static_cast<char>('a' + item.index % 26));
            return true;
        },
        [](Item& item, const std::stop_token&) { item.looked = item.text + std::to_string(item.index); },
        [&](Item& item) {
            taken.push_back(item.looked);
            return true;
        },
        {}, std::chrono::hours(1));
    QCOMPARE(taken.size(), count);
    for (std::size_t i = 0; i < count; ++i)
        QCOMPARE(taken[i], std::string(i % 37, static_cast<char>('a' + i % 26)) + std::to_string(i));
}

QTEST_GUILESS_MAIN(tst_OrderedLookups)
#include "tst_orderedlookups.moc"
