#pragma once

#include "errors/Error.h"
#include "dates/DateReader.h"
#include "services/FileMeasurement.h"

#include <QDate>
#include <QLocale>

#include <string>
#include <string_view>
#include <unordered_map>

namespace deptest {

// Renders dates in a locale's long date format and re-renders date texts
// written on other machines, so that a reference list made on a machine
// with one language (or on Windows, in its code page) compares by day on a
// machine with another. One object serves the dates of one list at a time.
class LongDateFormat {
public:
    explicit LongDateFormat(const QLocale& locale);

    // The day of `time`; a time that is no real day is 5.
    Result<std::string> render(const FileTime& time);
    // Text that reads as a date, in this locale's long format; any other
    // text as it is. Bytes that are not UTF-8 are read in the code page
    // under which they read as a date, which then becomes the one the
    // program shows such text in.
    std::string render(std::string_view dateText);

private:
    QDate readDate(std::string_view dateText);
    const std::string& renderDay(QDate date);

    QLocale m_locale;
    DateReader m_reader;
    // Both caches stay small: a list holds few distinct days.
    std::unordered_map<qint64, std::string> m_byDay;
    std::unordered_map<std::string, std::string> m_byText;
};

} // namespace deptest
