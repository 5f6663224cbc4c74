#pragma once

#include <QCalendar>
#include <QHash>
#include <QLocale>
#include <QSet>
#include <QString>

#include <array>
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

    static const DateCatalogue& instance();

    // The catalogue's locale for a machine's: the same locale, else its
    // language's own, else (C, POSIX, a name Qt does not know) en_US.
    [[nodiscard]] int indexOf(const QLocale& locale) const;
    [[nodiscard]] const Locale& locale(int index) const { return m_locales[static_cast<std::size_t>(index)]; }
    [[nodiscard]] int size() const { return static_cast<int>(m_locales.size()); }
    [[nodiscard]] QLocale::Language language(int index) const { return locale(index).locale.language(); }
    // The language's own locale; -1 for a language the catalogue lacks.
    [[nodiscard]] int primaryLocale(QLocale::Language language) const;

    [[nodiscard]] const Names* months(const QString& key) const { return find(m_months, key); }
    [[nodiscard]] const Names* weekdays(const QString& key) const { return find(m_weekdays, key); }
    // Whether the language's dates hold `piece` besides names and numbers.
    [[nodiscard]] bool isFiller(QLocale::Language language, QStringView piece) const;
    // The languages whose dates hold `piece` besides names and numbers.
    [[nodiscard]] std::vector<QLocale::Language> languagesWithFiller(const QString& piece) const;
    // Whether `piece` marks a time of day (AM, PM) in some language.
    [[nodiscard]] bool isTimeMarker(const QString& piece) const { return m_timeMarkers.contains(piece); }
    // Whether some name begins with the three characters at `text[at]`:
    // most parts of a word are no name, and this tells so quickly.
    [[nodiscard]] bool mayBeginName(const QString& text, qsizetype at) const
    {
        return m_beginnings.contains(beginningOf(text, at));
    }
    [[nodiscard]] int mostWords() const { return m_mostWords; }
    [[nodiscard]] qsizetype longestWord() const { return m_longestWord; }

private:
    using Index = QHash<QString, Names>;

    DateCatalogue();
    template <typename NamesOf>
    void addNames(Index& index, const QLocale& locale, int count, QCalendar::System calendar, NamesOf namesOf);
    void addCalendarNames(const QLocale& locale);
    void learnFillers(const QLocale& locale);
    static const Names* find(const Index& index, const QString& key);
    static quint64 beginningOf(const QString& text, qsizetype at)
    {
        return (quint64(text.at(at).unicode()) << 32) | (quint64(text.at(at + 1).unicode()) << 16)
            | text.at(at + 2).unicode();
    }

    std::vector<Locale> m_locales;
    std::unordered_map<QLocale::Language, int> m_primary;
    Index m_months;
    Index m_weekdays;
    std::unordered_map<QLocale::Language, QSet<QString>> m_fillers;
    QHash<QString, std::vector<QLocale::Language>> m_fillerLanguages;
    QSet<QString> m_timeMarkers;
    QSet<quint64> m_beginnings;
    int m_mostWords { 1 };
    qsizetype m_longestWord { 0 };
    int m_posix { 0 };
};

// The order of day, month and year in a Qt date format.
Order orderOf(const QString& format);

} // namespace deptest

namespace deptest {

// A name found in a text: where, how long, whether it is made of whole
// words, and what it may mean.
struct NameHit {
    qsizetype start { 0 };
    qsizetype end { 0 };
    bool wholeWords { false };
    const DateCatalogue::Names* names { nullptr };

    [[nodiscard]] qsizetype length() const { return end - start; }
    [[nodiscard]] bool overlaps(const NameHit& other) const { return start < other.end && other.start < end; }
};

struct SplitText;

// Every month and weekday name a case-folded text holds, whole words or
// parts of a word, in any language.
struct NameHits {
    std::vector<NameHit> months;
    std::vector<NameHit> weekdays;
};
NameHits findNames(const QString& folded, const SplitText& split, const DateCatalogue& catalogue);

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

} // namespace deptest
