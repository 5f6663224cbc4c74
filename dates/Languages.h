#pragma once

#include <QCalendar>
#include <QLocale>
#include <QStringList>

#include <vector>

namespace deptest {

// What the date reader knows of a language beyond Qt's own locale data, one
// row per language: the Windows code page its lists are written in, the
// calendars whose month names it writes besides the Gregorian ones, words
// of Windows' long dates that name nothing, and an era of its own its years
// may be counted in. A language without a row is written in code page 1252
// and needs nothing more.
struct LanguageFacts {
    QLocale::Language language { QLocale::AnyLanguage };
    int codePage { 1252 };
    std::vector<QCalendar::System> otherCalendars;
    QStringList fillers;
    // Years of its own era are this far ahead of the common era; a year
    // from `firstEraYear` on is one of its own (no file is dated that late
    // in the common era).
    int eraOffset { 0 };
    int firstEraYear { 0 };
    // Its `date` writes a twelve-hour clock without AM or PM ("11:30:00"
    // for 23:30): an hour up to 12 with no marker may be either half.
    bool unmarkedTwelveHourClock { false };
};

const LanguageFacts& factsOf(QLocale::Language language);

// The code page Windows gives a language.
int defaultCodePage(QLocale::Language language);

} // namespace deptest
