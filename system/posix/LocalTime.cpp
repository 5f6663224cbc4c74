#include "system/LocalTime.h"

#include <ctime>

namespace deptest {

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
        bool valid { false };
    };
    thread_local Converted last;
    if (last.valid && last.seconds == secondsSinceEpoch)
        return last.local;
    const auto moment = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local {};
    last.seconds = secondsSinceEpoch;
    last.valid = true;
    last.local = ::localtime_r(&moment, &local) == nullptr
        ? std::nullopt
        : std::optional<FileTime>(FileTime {
            local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec });
    return last.local;
}

} // namespace deptest
