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

} // namespace

TimeInText findTimeInText(const QString& text)
{
    TimeInText result;
    result.dateText = text;
    std::vector<FoundTime> times;
    for (qsizetype at = 0; at < text.size(); ++at) {
        if (const std::optional<FoundTime> found = isDigitAt(text, at) ? timeAt(text, at) : std::nullopt) {
            times.push_back(*found);
            at = found->span.end;
        }
    }
    std::vector<int> zones;
    std::vector<Span> blanks;
    // Zones named by a word, anywhere: "UTC 12:00:00" is how some
    // languages' `date` writes it.
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
            zones.push_back(offsetAt(text, end, offsetEnd) ? 24 * 60 : 0);
            blanks.push_back({ at, end });
        }
        at = end;
    }
    // "Z" right after the time; an offset after it, past spaces.
    if (times.size() == 1) {
        const qsizetype end = times.front().span.end;
        if (end < text.size() && (text.at(end) == QLatin1Char('Z') || text.at(end) == QLatin1Char('z'))
            && !isLetterAt(text, end + 1)) {
            zones.push_back(0);
            blanks.push_back({ end, end + 1 });
        } else {
            qsizetype at = end;
            while (at < text.size() && text.at(at) == QLatin1Char(' '))
                ++at;
            qsizetype offsetEnd = 0;
            if (const std::optional<int> offset = offsetAt(text, at, offsetEnd)) {
                zones.push_back(*offset);
                blanks.push_back({ at, offsetEnd });
            }
        }
    }
    if (!zones.empty()) {
        const bool agree = std::all_of(zones.begin(), zones.end(), [&](int zone) { return zone == zones.front(); });
        const bool real = zones.front() > -24 * 60 && zones.front() < 24 * 60;
        if (times.size() != 1 || !agree || !real) {
            result.zone = TimeInText::Zone::Unusable;
            return result;
        }
        result.zone = TimeInText::Zone::Named;
        result.offsetMinutes = zones.front();
    }
    if (times.size() == 1) {
        const FoundTime& time = times.front();
        result.hour = time.hour;
        result.minute = time.minute;
        result.second = time.second;
        result.timeStart = time.span.start;
        result.timeEnd = time.span.end;
        if (time.fraction.end > time.fraction.start)
            blanks.push_back(time.fraction);
        // ISO 8601's "T" between the date and the time.
        const qsizetype before = time.span.start - 1;
        if (before > 0 && (text.at(before) == QLatin1Char('T') || text.at(before) == QLatin1Char('t'))
            && isDigitAt(text, before - 1))
            blanks.push_back({ before, before + 1 });
    }
    for (const Span& blank : blanks) {
        for (qsizetype at = blank.start; at < blank.end; ++at)
            result.dateText[at] = QLatin1Char(' ');
    }
    return result;
}

} // namespace deptest
