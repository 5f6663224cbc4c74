#pragma once

#include "dates/DateList.h"
#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <QDate>
#include <QLocale>

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace deptest {

// Renders dates in a locale's long date format and re-renders date texts
// written on other machines, so that a reference list made on a machine
// with one language (or on Windows, in its code page) compares by day on a
// machine with another. One object serves the dates of one list at a time;
// study() starts a new list. A text written exactly as this locale writes
// its long dates is read by the locale itself: the date reader (whose
// catalogue of every locale is costly to build) is made only for the
// first text that is not.
class LongDateFormat {
public:
    explicit LongDateFormat(const QLocale& locale);

    // The day of `time`, written over `text`; a time that is no real day
    // is 5, and leaves `text` as it was.
    Outcome render(const FileTime& time, std::string& text);
    // Starts a new list: its language, code page and order of slashed
    // dates from all of its date texts, nothing from the list before.
    void study(std::span<const std::string> dateTexts);
    // Text that reads as a date, in this locale's long format; any other
    // text as it is. Without study(), the texts of the list read so far
    // decide what the list's are.
    std::string render(std::string_view dateText);
    // The code page the list's text that is not UTF-8 is shown in.
    [[nodiscard]] int codePage() const;

private:
    const std::string& renderDay(QDate date);
    // The day of a text written exactly in this locale's long format.
    [[nodiscard]] std::optional<QDate> ownDay(std::string_view dateText) const;
    DateList& list();

    QLocale m_locale;
    QString m_format;
    std::optional<DateList> m_list;
    // What the list would have learned before it was made: the texts of
    // the last study(), or the texts read since, to be learned when it is.
    std::optional<std::vector<std::string>> m_unstudied;
    std::vector<std::string> m_unlearned;
    // The days of the last study()'s texts, all in this locale's format:
    // each is parsed once, not again when it is rendered.
    TextMap<QDate> m_ownDays;
    // Both caches stay small: a list holds few distinct days.
    std::unordered_map<qint64, std::string> m_byDay;
    // The day of the time rendered last, and its text: most files of a
    // list share their day with the one before.
    struct RenderedDay {
        int year { 0 };
        int month { 0 };
        int day { 0 };
        std::string text;
    };
    std::optional<RenderedDay> m_lastDay;
    TextMap<std::string> m_byText;
};

} // namespace deptest
