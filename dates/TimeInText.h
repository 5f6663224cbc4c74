#pragma once

#include <QString>

#include <optional>

namespace deptest {

// The time of day a date text holds, and the zone it names, as `date`,
// `ls --full-time`, `stat` and mail headers write them: "12:00:00 UTC",
// "12:00:00.000000000 +0000", "12:00:00 GMT", "T12:00:00Z". A zone is
// "UTC", "GMT" or "UT" as a word, "Z" right after the time, or an offset
// after it ("+0530", "+05:30", "+05"); any other name of a zone is left in
// the text, where no language's dates account for it. What the time holds
// beyond its day (the fraction of a second, the zone, the "T" of ISO 8601)
// is blanked, so that the rest reads as the date it is.
struct TimeInText {
    enum class Zone {
        None, // a day on the wall clock (with or without a time of day)
        Named, // a moment: the time is in the zone `offsetMinutes` east of UTC
        Unusable, // a zone with no single time, or two zones that disagree
    };
    Zone zone { Zone::None };
    int offsetMinutes { 0 };
    int hour { 0 };
    int minute { 0 };
    int second { 0 };
    // Where the time stands in the text, [timeStart, timeEnd).
    qsizetype timeStart { 0 };
    qsizetype timeEnd { 0 };
    QString dateText;
};

TimeInText findTimeInText(const QString& text);

} // namespace deptest
