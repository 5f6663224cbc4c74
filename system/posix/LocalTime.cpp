#include "system/LocalTime.h"

#include <atomic>
#include <ctime>

namespace deptest {

namespace {

// How many times the zone was read again: a second converted before the
// last reading is converted again.
std::atomic<unsigned> zoneReadings { 0 };

} // namespace

void reloadTimeZone()
{
    ::tzset(); // localtime_r() alone keeps the zone it read first
    zoneReadings.fetch_add(1, std::memory_order_relaxed);
}

std::optional<FileTime> localTimeOf(std::int64_t secondsSinceEpoch)
{
    // Files put in place together share their second, and a list's files
    // follow one another: the last second each thread converted answers
    // again without the time zone's rules. Only a change of the machine's
    // zone during a run could tell, and the entries of such a run are
    // reckoned in either zone anyway.
    struct Converted {
        std::int64_t seconds { 0 };
        std::optional<FileTime> local;
        unsigned zoneReading { 0 };
        bool valid { false };
    };
    thread_local Converted last;
    const unsigned zoneReading = zoneReadings.load(std::memory_order_relaxed);
    if (last.valid && last.seconds == secondsSinceEpoch && last.zoneReading == zoneReading)
        return last.local;
    const auto moment = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local {};
    last.seconds = secondsSinceEpoch;
    last.zoneReading = zoneReading;
    last.valid = true;
    last.local = ::localtime_r(&moment, &local) == nullptr
        ? std::nullopt
        : std::optional<FileTime>(FileTime {
            local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec });
    return last.local;
}

} // namespace deptest
