#include "dates/TimeInText.h"

#include <algorithm>
#include <vector>

namespace deptest {

namespace {

bool isDigitAt(const QString& text, qsizetype at) { return at >= 0 && at < text.size() && text.at(at).isDigit(); }
bool isLetterAt(const QString& text, qsizetype at) { return at >= 0 && at < text.size() && text.at(at).isLetter(); }

// `count` digits from `at` on, as a number; -1 when there are not.
int digitsAt(const QString& text, qsizetype at, qsizetype count)
{
    int value = 0;
    for (qsizetype i = 0; i < count; ++i) {
        if (!isDigitAt(text, at + i))
            return -1;
        value = value * 10 + text.at(at + i).digitValue();
    }
    return value;
}

struct Span {
    qsizetype start { 0 };
    qsizetype end { 0 };
};

// A time "h:mm", "hh:mm:ss" with perhaps a fraction, at `at`.
struct FoundTime {
    Span span;
    Span fraction;
    int hour { 0 };
    int minute { 0 };
    int second { 0 };
};

std::optional<FoundTime> timeAt(const QString& text, qsizetype at)
{
    if (isDigitAt(text, at - 1))
        return std::nullopt;
    const qsizetype hourDigits = isDigitAt(text, at + 1) ? 2 : 1;
    FoundTime found;
    found.hour = digitsAt(text, at, hourDigits);
    qsizetype end = at + hourDigits;
    if (end >= text.size() || text.at(end) != QLatin1Char(':') || (found.minute = digitsAt(text, end + 1, 2)) < 0)
        return std::nullopt;
    end += 3;
    if (end < text.size() && text.at(end) == QLatin1Char(':')) {
        if ((found.second = digitsAt(text, end + 1, 2)) < 0)
            return std::nullopt;
        end += 3;
        if (end + 1 < text.size() && (text.at(end) == QLatin1Char('.') || text.at(end) == QLatin1Char(','))
            && isDigitAt(text, end + 1)) {
            qsizetype fractionEnd = end + 1;
            while (isDigitAt(text, fractionEnd))
                ++fractionEnd;
            found.fraction = { end, fractionEnd };
            end = fractionEnd;
        }
    }
    if (isDigitAt(text, end))
        return std::nullopt;
    found.span = { at, end };
    return found;
}

// An offset "+hhmm", "+hh:mm" or "+hh" at `at`, in minutes east of UTC.
std::optional<int> offsetAt(const QString& text, qsizetype at, qsizetype& end)
{
    if (at >= text.size() || (text.at(at) != QLatin1Char('+') && text.at(at) != QLatin1Char('-')))
        return std::nullopt;
    const int hours = digitsAt(text, at + 1, 2);
    if (hours < 0)
        return std::nullopt;
    int minutes = 0;
    end = at + 3;
    const qsizetype colon = end < text.size() && text.at(end) == QLatin1Char(':') ? 1 : 0;
    if (isDigitAt(text, end + colon)) {
        minutes = digitsAt(text, end + colon, 2);
        if (minutes < 0)
            return std::nullopt;
        end += colon + 2;
    }
    if (isDigitAt(text, end))
        return std::nullopt;
    // An offset of a day or more, or of 60 minutes and more, is no zone's.
    if (hours > 23 || minutes > 59)
        return 24 * 60;
    return (text.at(at) == QLatin1Char('-') ? -1 : 1) * (hours * 60 + minutes);
}

// Every time in a text.
std::vector<FoundTime> timesIn(const QString& text)
{
    std::vector<FoundTime> times;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (const std::optional<FoundTime> found = isDigitAt(text, at) ? timeAt(text, at) : std::nullopt) {
            times.push_back(*found);
            at = found->span.end;
        }
    }
    return times;
}

// The zones a text names, in minutes east of UTC (24 * 60 for one with no
// single time), and where it names them.
struct NamedZones {
    std::vector<int> offsets;
    std::vector<Span> spans;
};

// Zones named by a word, anywhere: "UTC 12:00:00" is how some languages'
// `date` writes it.
void addZonesNamedByWords(const QString& text, NamedZones& zones)
{
    for (qsizetype at = 0; at < text.size();) {
        if (!isLetterAt(text, at)) {
            ++at;
            continue;
        }
        qsizetype end = at;
        while (isLetterAt(text, end))
            ++end;
        const QStringView word = QStringView(text).sliced(at, end - at);
        if (word == QLatin1String("UTC") || word == QLatin1String("GMT") || word == QLatin1String("UT")) {
            // "UTC+1" names a zone by its offset from UTC, not UTC itself.
            qsizetype offsetEnd = 0;
            zones.offsets.push_back(offsetAt(text, end, offsetEnd) ? 24 * 60 : 0);
            zones.spans.push_back({ at, end });
        }
        at = end;
    }
}

// "Z" right after the time; an offset after it, past spaces.
void addZoneAfterTime(const QString& text, const FoundTime& time, NamedZones& zones)
{
    const qsizetype end = time.span.end;
    if (end < text.size() && (text.at(end) == QLatin1Char('Z') || text.at(end) == QLatin1Char('z'))
        && !isLetterAt(text, end + 1)) {
        zones.offsets.push_back(0);
        zones.spans.push_back({ end, end + 1 });
        return;
    }
    qsizetype at = end;
    while (at < text.size() && text.at(at) == QLatin1Char(' '))
        ++at;
    qsizetype offsetEnd = 0;
    if (const std::optional<int> offset = offsetAt(text, at, offsetEnd)) {
        zones.offsets.push_back(*offset);
        zones.spans.push_back({ at, offsetEnd });
    }
}

// The one zone all the names agree on, as the result's zone; Unusable
// when they disagree, when it has no single time, or when the text has
// other than one time for it to apply to.
void takeZone(const NamedZones& zones, std::size_t timeCount, TimeInText& result)
{
    if (zones.offsets.empty())
        return;
    const int first = zones.offsets.front();
    const bool agree = std::all_of(zones.offsets.begin(), zones.offsets.end(), [&](int zone) { return zone == first; });
    const bool real = first > -24 * 60 && first < 24 * 60;
    if (timeCount != 1 || !agree || !real) {
        result.zone = TimeInText::Zone::Unusable;
        return;
    }
    result.zone = TimeInText::Zone::Named;
    result.offsetMinutes = first;
}

// The time as the result's, and where its marks stand that are no part of
// the day: its fraction of a second and ISO 8601's "T" before it.
void takeTime(const QString& text, const FoundTime& time, TimeInText& result, std::vector<Span>& blanks)
{
    result.hour = time.hour;
    result.minute = time.minute;
    result.second = time.second;
    result.timeStart = time.span.start;
    result.timeEnd = time.span.end;
    if (time.fraction.end > time.fraction.start)
        blanks.push_back(time.fraction);
    const qsizetype before = time.span.start - 1;
    if (before > 0 && (text.at(before) == QLatin1Char('T') || text.at(before) == QLatin1Char('t'))
        && isDigitAt(text, before - 1))
        blanks.push_back({ before, before + 1 });
}

} // namespace

TimeInText findTimeInText(const QString& text)
{
    TimeInText result;
    result.dateText = text;
    const std::vector<FoundTime> times = timesIn(text);
    NamedZones zones;
    addZonesNamedByWords(text, zones);
    if (times.size() == 1)
        addZoneAfterTime(text, times.front(), zones);
    takeZone(zones, times.size(), result);
    if (result.zone == TimeInText::Zone::Unusable)
        return result;
    std::vector<Span> blanks = zones.spans;
    if (times.size() == 1)
        takeTime(text, times.front(), result, blanks);
    for (const Span& blank : blanks) {
        for (qsizetype at = blank.start; at < blank.end; ++at)
            result.dateText[at] = QLatin1Char(' ');
    }
    return result;
}

} // namespace deptest
