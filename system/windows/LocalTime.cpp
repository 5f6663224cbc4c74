#include "system/LocalTime.h"

#include <windows.h>

namespace deptest {

namespace {

// FILETIME counts 100-nanosecond intervals from 1601-01-01 UTC.
constexpr std::int64_t secondsFrom1601To1970 = 11644473600;
constexpr std::int64_t intervalsPerSecond = 10000000;

} // namespace

std::optional<FileTime> localTimeOf(std::int64_t secondsSinceEpoch)
{
    if (secondsSinceEpoch < -secondsFrom1601To1970)
        return std::nullopt;
    const auto intervals
        = static_cast<std::uint64_t>(secondsSinceEpoch + secondsFrom1601To1970) * std::uint64_t { intervalsPerSecond };
    FILETIME moment {};
    moment.dwLowDateTime = static_cast<DWORD>(intervals & 0xFFFFFFFFu);
    moment.dwHighDateTime = static_cast<DWORD>(intervals >> 32);
    // As a file's modification time is measured: the rule of that moment's
    // year, not today's.
    SYSTEMTIME universal {};
    SYSTEMTIME local {};
    if (!::FileTimeToSystemTime(&moment, &universal) || !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local))
        return std::nullopt;
    return FileTime { local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond };
}

// SystemTimeToTzSpecificLocalTime() asks for the zone in force each time.
void reloadTimeZone() { }

} // namespace deptest
