#pragma once

#include "dates/DateCatalogue.h"

#include <QDate>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

namespace deptest {

struct SplitText;
struct TimeInText;

// What a list as a whole has shown about its dates: the language its
// named dates are written in and the order of its slashed numeric dates.
struct ListFacts {
    QLocale::Language language { QLocale::AnyLanguage };
    std::optional<Order> slashOrder;
};

// The reading of one date text. A text is read as a day only when the
// reading accounts for all of it: its words are month and weekday names or
// other words of one language's dates, and its numbers fill that
// language's fields in its order. Where readings that account for the
// whole text give different days, a weekday name that agrees decides, then
// the list's language, then this machine's, then a single language whose
// locales write exactly this text; otherwise the text is not read. Dotted and dashed numeric dates are day-month-year
// or year-month-day; slashed ones are month-day-year or day-month-year as the list, then this machine, says. Thai years
// of the Buddhist era and month names of the Persian and Islamic calendars are read in their calendars; a time of day
// is no part of the day, unless the text names its zone ("UTC", "GMT", "UT", "Z", "+0100"): such a text is a moment,
// read as the day it falls on in this machine's zone. Two-digit years are read as Windows reads them: 00-29 are
// 2000-2029, 30-99 are 1930-1999.
class DateReader {
public:
    explicit DateReader(const QLocale& machine);

    // A day some language reads in the text, with what speaks for it.
    struct Candidate {
        QDate date;
        QLocale::Language language { QLocale::AnyLanguage }; // AnyLanguage: numbers alone
        bool confirmed { false }; // a weekday name in the text agrees with the day
        qsizetype recognised { 0 }; // characters read as names
    };
    // How a text reads: its day (invalid when it is not read), its
    // language and how much of it was recognised as names.
    struct Reading {
        QDate date;
        QLocale::Language language { QLocale::AnyLanguage };
        qsizetype recognised { 0 };
        bool confirmed { false };
    };

    // Every reading that accounts for the whole text; `byList` tells
    // whether the list's facts played a part (numbers alone).
    [[nodiscard]] std::vector<Candidate> candidates(
        const QString& text, const ListFacts& list, bool* byList = nullptr) const;
    // The one day the readings of `text` leave, or none.
    [[nodiscard]] Reading decide(
        const std::vector<Candidate>& candidates, const ListFacts& list, const QString* text = nullptr) const;
    [[nodiscard]] Reading examine(const QString& text, const ListFacts& list) const
    {
        return decide(candidates(text, list), list, &text);
    }
    [[nodiscard]] QLocale::Language machineLanguage() const { return m_catalogue.language(m_machineLocale); }
    // The orders of short dates of the locales that write the candidate's
    // day as exactly this text in their long format.
    [[nodiscard]] std::vector<Order> ordersWriting(const QString& text, const Candidate& candidate) const;
    // The order of a language's short dates.
    [[nodiscard]] Order shortOrderOf(QLocale::Language language) const
    {
        const int primary = m_catalogue.primaryLocale(language);
        return m_catalogue.locale(primary < 0 ? m_machineLocale : primary).shortOrder;
    }

private:
    struct Text;
    void readNamed(const Text& text, std::vector<Candidate>& out) const;
    void toDaysHere(const Text& text, const TimeInText& time, std::vector<Candidate>& found) const;
    [[nodiscard]] std::vector<QStringView> timeMarkersAround(const Text& text, const TimeInText& time) const;
    [[nodiscard]] std::vector<int> hoursIn(QLocale::Language language, const std::vector<QStringView>& markers,
        const TimeInText& time, bool unmarkedTwelveHours) const;
    void readNumbers(const Text& text, const ListFacts& list, std::vector<Candidate>& out) const;
    void readNumbersIn(
        const Text& text, QLocale::Language language, const ListFacts& list, std::vector<Candidate>& out) const;
    [[nodiscard]] std::optional<Order> numericOrder(
        const Text& text, QLocale::Language language, const ListFacts& list) const;
    [[nodiscard]] bool accountsForAll(const Text& text, const Meaning& meaning, qsizetype* recognised) const;
    [[nodiscard]] Order longOrderOf(QLocale::Language language) const;

    const DateCatalogue& m_catalogue;
    int m_machineLocale;
};

} // namespace deptest
