#pragma once

#include "dates/DateWords.h"

#include <QCalendar>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QString>
#include <QVarLengthArray>

#include <algorithm>
#include <array>
#include <bitset>
#include <unordered_map>
#include <vector>

namespace deptest {

// The catalogue of what every locale Qt knows writes in a date: its month
// and weekday names (of the Gregorian calendar, and of the Persian and
// Islamic calendars where a language writes those), the order of day,
// month and year in its formats, and the other words its dates hold ("de",
// "г", "den", "日"). Built once, on the first date not written in this
// machine's own long format, and shared.

enum class DateField { Day, Month, Year };
using Order = std::array<DateField, 3>;

constexpr Order dayMonthYear { DateField::Day, DateField::Month, DateField::Year };
constexpr Order monthDayYear { DateField::Month, DateField::Day, DateField::Year };
constexpr Order yearMonthDay { DateField::Year, DateField::Month, DateField::Day };

// A set of languages, one bit each.
using LanguageSet = std::bitset<QLocale::LastLanguage + 1>;

class DateCatalogue {
public:
    struct Locale {
        QLocale locale;
        Order longOrder {};
        Order shortOrder {};
    };
    // A name as one language uses it: for a month 1-12 (1-13 in no calendar
    // read here), for a weekday 1-7 (Monday first).
    struct Name {
        QLocale::Language language;
        int value;
        QCalendar::System calendar { QCalendar::System::Gregorian };
    };
    using Names = std::vector<Name>;
    // What one key names: months, weekdays, or both (empty: none).
    struct Named {
        Names months;
        Names weekdays;
    };

    static const DateCatalogue& instance();

    // The catalogue's locale for a machine's: the same locale, else its
    // language's own, else (C, POSIX, a name Qt does not know) en_US.
    [[nodiscard]] int indexOf(const QLocale& locale) const;
    [[nodiscard]] const Locale& locale(int index) const { return m_locales[static_cast<std::size_t>(index)]; }
    [[nodiscard]] int size() const { return static_cast<int>(m_locales.size()); }
    [[nodiscard]] QLocale::Language language(int index) const { return locale(index).locale.language(); }
    // The language's own locale; -1 for a language the catalogue lacks.
    [[nodiscard]] int primaryLocale(QLocale::Language language) const;

    // The month and weekday names a key is, in any language; none when it
    // is no name.
    [[nodiscard]] const Named* names(QStringView key) const;
    // Whether the language's dates hold `piece` besides names and numbers.
    [[nodiscard]] bool isFiller(QLocale::Language language, QStringView piece) const;
    // The languages whose dates hold `piece` besides names and numbers;
    // none when no language's do.
    [[nodiscard]] const LanguageSet* languagesWithFiller(QStringView piece) const;
    // Whether `piece` marks a time of day (AM, PM) in some language.
    [[nodiscard]] bool isTimeMarker(QStringView piece) const { return m_timeMarkers.contains(viewed(piece)); }
    // Which half of the day a time marker's word is in a language's texts
    // (AnyLanguage: in any): beforeNoon, afterNoon, both (a word of both
    // halves, "m" of "a. m." and "p. m.", or one language's AM and
    // another's PM), or 0 where the language does not write it.
    static constexpr int beforeNoon = 1;
    static constexpr int afterNoon = 2;
    [[nodiscard]] int halvesOfDay(QStringView piece, QLocale::Language language) const
    {
        const auto found = m_halvesOfDay.constFind(viewed(piece));
        return found == m_halvesOfDay.constEnd() ? 0 : found->value(language);
    }
    // The lengths of the names that begin with the three characters at
    // `text[at]`, as lengthBit()s (0: none): most parts of a word are no
    // name, and this tells so without looking them up.
    [[nodiscard]] quint64 nameLengthsAt(const QString& text, qsizetype at) const
    {
        return m_beginnings.value(beginningOf(text, at));
    }
    // One bit for each length; the last for all the longer ones.
    static quint64 lengthBit(qsizetype length) { return quint64(1) << std::min<qsizetype>(length, 63); }
    [[nodiscard]] int mostWords() const { return m_mostWords; }
    [[nodiscard]] qsizetype longestWord() const { return m_longestWord; }

private:
    DateCatalogue();
    template <typename NamesOf>
    void addNames(Names Named::*kind, const QLocale& locale, int count, QCalendar::System calendar, NamesOf namesOf);
    void addCalendarNames(const QLocale& locale);
    void learnFillers(const QLocale& locale);
    // A piece of a text as a key to look up, without copying it: texts are
    // read by the hundred thousand.
    static QString viewed(QStringView piece) { return QString::fromRawData(piece.data(), piece.size()); }
    static quint64 beginningOf(const QString& text, qsizetype at)
    {
        return (quint64(text.at(at).unicode()) << 32) | (quint64(text.at(at + 1).unicode()) << 16)
            | text.at(at + 2).unicode();
    }

    std::vector<Locale> m_locales;
    std::unordered_map<QLocale::Language, int> m_primary;
    QHash<QString, Named> m_names;
    std::unordered_map<QLocale::Language, QSet<QString>> m_fillers;
    QHash<QString, LanguageSet> m_fillerLanguages;
    QSet<QString> m_timeMarkers;
    QHash<QString, QHash<QLocale::Language, int>> m_halvesOfDay;
    QHash<quint64, quint64> m_beginnings;
    int m_mostWords { 1 };
    qsizetype m_longestWord { 0 };
    int m_posix { 0 };
};

} // namespace deptest

namespace deptest {

// A name found in a text: where, how long, whether it is made of whole
// words, and what it may mean.
struct NameHit {
    qsizetype start { 0 };
    qsizetype end { 0 };
    bool wholeWords { false };
    const DateCatalogue::Names* names { nullptr };

    [[nodiscard]] bool covers(qsizetype at) const { return start <= at && at < end; }
    [[nodiscard]] qsizetype length() const { return end - start; }
    [[nodiscard]] bool overlaps(const NameHit& other) const { return start < other.end && other.start < end; }
};

// Every month and weekday name a case-folded text holds, whole words or
// parts of a word, in any language. With `possible`, also the languages
// whose names and other words may account for every word of the text:
// for each word, those with a name over its first and its last character,
// or whose other words begin or end it up to where some name begins or
// ends; a time marker is any language's. The search then ends at the
// first word no language can account for: the text reads in none, and a
// language outside the set is spared reading it in each of its months.
using Hits = QVarLengthArray<NameHit, 16>;
struct NameHits {
    Hits months;
    Hits weekdays;
};
NameHits findNames(
    const QString& folded, const SplitText& split, const DateCatalogue& catalogue, LanguageSet* possible = nullptr);

// What one reading of a text leaves unexplained: the pieces of its words
// that are no name of `language` for the month (0: none) and weekday (0:
// none) read.
struct Meaning {
    QLocale::Language language;
    int month { 0 };
    int weekday { 0 };
    QCalendar::System calendar { QCalendar::System::Gregorian };
};
QStringList unexplained(const QString& folded, const SplitText& split, const NameHits& hits, const Meaning& meaning);

// The characters of a text the names of one reading cover.
using Coverage = QVarLengthArray<bool, 256>;
Coverage coverage(qsizetype length, const NameHits& hits, const Meaning& meaning);

// Gives `take` each piece of the text's words that `covered` leaves out, in
// order, while it returns true; false when it returned false.
template <typename Take>
bool eachUncovered(QStringView folded, const std::vector<Word>& words, const Coverage& covered, Take take)
{
    for (const Word& word : words) {
        for (qsizetype at = word.start; at < word.end;) {
            if (covered[at]) {
                ++at;
                continue;
            }
            qsizetype end = at;
            while (end < word.end && !covered[end])
                ++end;
            if (!take(folded.sliced(at, end - at)))
                return false;
            at = end;
        }
    }
    return true;
}

} // namespace deptest
