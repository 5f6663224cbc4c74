#pragma once

#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <QDate>
#include <QLocale>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace deptest {

// Renders dates in a locale's long date format and re-renders date texts
// written under another locale, so that a reference list made on a machine
// with one language compares by day on a machine with another.
class LongDateFormat {
public:
    explicit LongDateFormat(const QLocale& locale);

    // The day of `time`; a time that is no real day is 5.
    Result<std::string> render(const FileTime& time);
    // Text that reads as a date, in this locale's long format; any other
    // text as it is.
    std::string render(std::string_view dateText);

private:
    struct Reader {
        QLocale locale;
        QString format;
    };

    QDate readDate(const QString& text) const;
    const std::string& renderDay(QDate date);

    QLocale m_locale;
    std::vector<Reader> m_readers;
    // Both caches stay small: a list holds few distinct days.
    std::unordered_map<qint64, std::string> m_byDay;
    std::unordered_map<std::string, std::string> m_byText;
};

} // namespace deptest
