#pragma once

#include "services/FileMeasurement.h"

#include <cstdint>
#include <optional>

namespace deptest {

// The local date and time of a moment, given in seconds since 1970-01-01
// 00:00 UTC, in this machine's time zone with the daylight-saving rule in
// force at that moment: the same reckoning as a file's modification time,
// so that a moment written in a list falls on the day its file has here.
// None where the system cannot say (a moment outside its calendar).
std::optional<FileTime> localTimeOf(std::int64_t secondsSinceEpoch);

// Reads the machine's time zone again for the moments converted from now
// on. Each run starts with it, so that a zone changed while the window is
// open counts from the next run. Not while another thread converts.
void reloadTimeZone();

} // namespace deptest
