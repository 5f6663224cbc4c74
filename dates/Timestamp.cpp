#include "dates/Timestamp.h"

#include "system/LocalTime.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <string>

namespace deptest {

namespace {

// Reads a text from left to right; every step either takes what it
// expects or leaves the position where it was.
class Cursor {
public:
    explicit Cursor(std::string_view text)
        : m_text(text)
    {
    }

    [[nodiscard]] bool atEnd() const { return m_at == m_text.size(); }
    [[nodiscard]] char peek() const { return atEnd() ? '\0' : m_text[m_at]; }
    [[nodiscard]] static bool isDigit(char c) { return c >= '0' && c <= '9'; }

    bool take(char c)
    {
        if (peek() != c)
            return false;
        ++m_at;
        return true;
    }
    bool takeAnyOf(std::string_view choices)
    {
        if (atEnd() || choices.find(peek()) == std::string_view::npos)
            return false;
        ++m_at;
        return true;
    }
    // Exactly `count` digits, as a number.
    bool takeDigits(std::size_t count, int& value)
    {
        if (m_at + count > m_text.size())
            return false;
        int read = 0;
        for (std::size_t i = 0; i < count; ++i) {
            const char c = m_text[m_at + i];
            if (!isDigit(c))
                return false;
            read = read * 10 + (c - '0');
        }
        m_at += count;
        value = read;
        return true;
    }
    // One or two digits, as a number.
    bool takeShortNumber(int& value)
    {
        if (!takeDigits(1, value))
            return false;
        int second = 0;
        if (takeDigits(1, second))
            value = value * 10 + second;
        return true;
    }
    // A run of ASCII letters, lower-cased.
    std::string takeWord()
    {
        std::string word;
        while (!atEnd() && ((peek() >= 'a' && peek() <= 'z') || (peek() >= 'A' && peek() <= 'Z')))
            word += static_cast<char>(m_text[m_at++] | 0x20);
        return word;
    }
    bool takeSpaces()
    {
        const std::size_t start = m_at;
        while (peek() == ' ')
            ++m_at;
        return m_at > start;
    }
    // One digit or more, their value not wanted (a fraction of a second).
    bool skipDigits()
    {
        const std::size_t start = m_at;
        while (isDigit(peek()))
            ++m_at;
        return m_at > start;
    }

private:
    std::string_view m_text;
    std::size_t m_at { 0 };
};

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && isSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

// "hh:mm[:ss[.f]]" or, in the basic form, "hhmm[ss[.f]]".
bool takeTime(Cursor& in, bool extended, FileTime& time)
{
    if (!in.takeDigits(2, time.hour) || (extended && !in.take(':')) || !in.takeDigits(2, time.minute))
        return false;
    const bool hasSeconds = extended ? in.take(':') : Cursor::isDigit(in.peek());
    if (!hasSeconds)
        return true;
    if (!in.takeDigits(2, time.second))
        return false;
    if (in.takeAnyOf(".,"))
        return in.skipDigits();
    return true;
}

// "Z", or a sign and hours with perhaps minutes, with or without a colon.
bool takeZone(Cursor& in, std::optional<int>& offsetMinutes)
{
    if (in.takeAnyOf("Zz")) {
        offsetMinutes = 0;
        return true;
    }
    const char sign = in.peek();
    if (!in.takeAnyOf("+-"))
        return false;
    int hours = 0;
    int minutes = 0;
    if (!in.takeDigits(2, hours))
        return false;
    if (in.take(':')) {
        if (!in.takeDigits(2, minutes))
            return false;
    } else if (Cursor::isDigit(in.peek()) && !in.takeDigits(2, minutes)) {
        return false;
    }
    // Out of range ("+2400", "+0075") it is still this shape, and refused
    // as a whole day or more.
    offsetMinutes = (sign == '-' ? -1 : 1) * (minutes > 59 ? 24 * 60 : hours * 60 + minutes);
    return true;
}

bool isRealTime(const FileTime& t)
{
    using namespace std::chrono;
    const year_month_day day { year { t.year }, month { static_cast<unsigned>(t.month) },
        std::chrono::day { static_cast<unsigned>(t.day) } };
    // A leap second (23:59:60) is still of its day.
    return day.ok() && t.hour <= 23 && t.minute <= 59 && t.second <= 60;
}

// 1-12 for the English month names of RFC 2822, 0 for any other word.
int monthNamed(std::string_view word)
{
    static constexpr std::array<std::string_view, 12> names { "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug",
        "sep", "oct", "nov", "dec" };
    for (std::size_t month = 0; month < names.size(); ++month) {
        if (word == names[month])
            return static_cast<int>(month) + 1;
    }
    return 0;
}

// 1-7 (Monday first) for the English weekday names of RFC 2822, 0 for any
// other word.
int weekdayNamed(std::string_view word)
{
    static constexpr std::array<std::string_view, 7> names { "mon", "tue", "wed", "thu", "fri", "sat", "sun" };
    for (std::size_t day = 0; day < names.size(); ++day) {
        if (word == names[day])
            return static_cast<int>(day) + 1;
    }
    return 0;
}

int weekdayOf(const FileTime& t)
{
    using namespace std::chrono;
    const weekday day { sys_days {
        year { t.year } / month { static_cast<unsigned>(t.month) } / static_cast<unsigned>(t.day) } };
    return static_cast<int>(day.iso_encoding());
}

IsoReading::Shape shapeOf(const Timestamp& timestamp)
{
    const std::optional<int>& offset = timestamp.offsetMinutes;
    const bool realOffset = !offset || (*offset > -24 * 60 && *offset < 24 * 60);
    return isRealTime(timestamp.written) && realOffset ? IsoReading::Shape::Read : IsoReading::Shape::Unreadable;
}

} // namespace

IsoReading readIsoTimestamp(std::string_view text)
{
    Cursor in(trimmed(text));
    IsoReading reading;
    FileTime& written = reading.timestamp.written;
    if (!in.takeDigits(4, written.year))
        return reading;
    const bool extended = in.take('-');
    if (extended) {
        if (!in.takeDigits(2, written.month) || !in.take('-') || !in.takeDigits(2, written.day))
            return reading;
        // A date alone, or with words after it, is for the date reader.
        if (!in.takeAnyOf("Tt ") || !Cursor::isDigit(in.peek()))
            return reading;
    } else if (!in.takeDigits(2, written.month) || !in.takeDigits(2, written.day) || !in.takeAnyOf("Tt")) {
        return reading;
    }
    if (!takeTime(in, extended, written))
        return reading;
    if (!in.atEnd()) {
        (void)in.take(' ');
        if (!takeZone(in, reading.timestamp.offsetMinutes) || !in.atEnd())
            return reading;
    }
    reading.shape = shapeOf(reading.timestamp);
    return reading;
}

IsoReading readRfcTimestamp(std::string_view text)
{
    Cursor in(trimmed(text));
    IsoReading reading;
    FileTime& written = reading.timestamp.written;
    int weekday = 0;
    if (!Cursor::isDigit(in.peek())) {
        weekday = weekdayNamed(in.takeWord());
        if (weekday == 0 || !in.take(','))
            return reading;
        (void)in.takeSpaces();
    }
    if (!in.takeShortNumber(written.day) || !in.takeSpaces() || (written.month = monthNamed(in.takeWord())) == 0
        || !in.takeSpaces() || !in.takeDigits(4, written.year) || !in.takeSpaces() || !takeTime(in, true, written)
        || !in.takeSpaces())
        return reading;
    if (!Cursor::isDigit(in.peek()) && in.peek() != '+' && in.peek() != '-') {
        const std::string zone = in.takeWord();
        if (zone != "gmt" && zone != "ut" && zone != "utc" && zone != "z")
            return reading;
        reading.timestamp.offsetMinutes = 0;
    } else if (!takeZone(in, reading.timestamp.offsetMinutes)) {
        return reading;
    }
    if (!in.atEnd())
        return reading;
    reading.shape = shapeOf(reading.timestamp);
    // A weekday that disagrees with the date: one of them is wrong.
    if (reading.shape == IsoReading::Shape::Read && weekday != 0 && weekday != weekdayOf(written))
        reading.shape = IsoReading::Shape::Unreadable;
    return reading;
}

std::optional<FileTime> timeHere(const Timestamp& timestamp)
{
    const FileTime& t = timestamp.written;
    if (!timestamp.offsetMinutes)
        return t;
    using namespace std::chrono;
    const sys_days day { year { t.year } / month { static_cast<unsigned>(t.month) } / static_cast<unsigned>(t.day) };
    const seconds moment = day.time_since_epoch() + hours { t.hour } + minutes { t.minute }
        + seconds { std::min(t.second, 59) } - minutes { *timestamp.offsetMinutes };
    return localTimeOf(moment.count());
}

} // namespace deptest
