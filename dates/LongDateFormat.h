#pragma once

#include "dates/DateList.h"
#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <QDate>
#include <QLocale>

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>

namespace deptest {

// Renders dates in a locale's long date format and re-renders date texts
// written on other machines, so that a reference list made on a machine
// with one language (or on Windows, in its code page) compares by day on a
// machine with another. One object serves the dates of one list at a time;
// study() starts a new list.
class LongDateFormat {
public:
    explicit LongDateFormat(const QLocale& locale);

    // The day of `time`; a time that is no real day is 5.
    Result<std::string> render(const FileTime& time);
    // Starts a new list: its language, code page and order of slashed
    // dates from all of its date texts, nothing from the list before.
    void study(std::span<const std::string> dateTexts);
    // Text that reads as a date, in this locale's long format; any other
    // text as it is. Without study(), the texts of the list read so far
    // decide what the list's are.
    std::string render(std::string_view dateText);
    // The code page the list's text that is not UTF-8 is shown in.
    [[nodiscard]] int codePage() const { return m_list.codePage(); }

private:
    const std::string& renderDay(QDate date);

    QLocale m_locale;
    DateList m_list;
    // Both caches stay small: a list holds few distinct days.
    std::unordered_map<qint64, std::string> m_byDay;
    std::unordered_map<std::string, std::string> m_byText;
};

} // namespace deptest
