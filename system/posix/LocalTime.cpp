#include "system/LocalTime.h"

#include <ctime>

namespace deptest {

std::optional<FileTime> localTimeOf(std::int64_t secondsSinceEpoch)
{
    const auto moment = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm local {};
    if (::localtime_r(&moment, &local) == nullptr)
        return std::nullopt;
    return FileTime { local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
        local.tm_sec };
}

} // namespace deptest
