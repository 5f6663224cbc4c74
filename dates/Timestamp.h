#pragma once

#include "services/FileMeasurement.h"

#include <optional>
#include <string_view>

namespace deptest {

// Timestamps as tools write them: a day, a time of day and, where the tool
// names it, the zone of that time. A timestamp that names its zone is a
// moment, whose day is the one it falls on in this machine's zone, as a
// file's modification time is; one that does not is a day on the wall
// clock, taken as written. Plain C++: the same on every system, and fast
// enough for a list of a hundred thousand distinct moments.

struct Timestamp {
    FileTime written; // as the text gives it
    std::optional<int> offsetMinutes; // east of UTC; none when no zone is named
};

// The date and time a timestamp is here; none where the moment is beyond what
// this machine's calendar reckons.
std::optional<FileTime> timeHere(const Timestamp& timestamp);

// A text in ISO 8601 as machines write it: an extended date (2020-03-06),
// "T" or a space, a time with minutes and perhaps seconds and a fraction of
// any length (12:00, 12:00:00, 12:00:00.0000000), then perhaps a zone:
// "Z", "±hh:mm", "±hhmm" or "±hh", after at most one space; or the same in
// the basic form (20200306T120000Z), whose "T" cannot be left out.
struct IsoReading {
    enum class Shape {
        Other, // not this shape: another reader may know the text
        Unreadable, // this shape, but no time there is (February 30, 25:00, an offset of 30 hours)
        Read,
    };
    Shape shape { Shape::Other };
    Timestamp timestamp;
};
IsoReading readIsoTimestamp(std::string_view text);

// A text in the form of RFC 2822 and RFC 1123, as mail, HTTP and
// `date -R` write it: perhaps an English weekday and a comma, then day,
// English month, year, a time on the 24-hour clock and its zone ("GMT",
// "UTC", "UT", "Z" or "±hhmm"). A weekday that is not the date's leaves it
// unread.
IsoReading readRfcTimestamp(std::string_view text);

} // namespace deptest
