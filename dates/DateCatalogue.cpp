#include "dates/DateCatalogue.h"

#include "dates/DateWords.h"
#include "dates/Languages.h"

#include <QDate>
#include <QStringList>

#include <algorithm>
#include <optional>

namespace deptest {

namespace {

// Inside a word, names are looked for from this length on.
constexpr qsizetype shortestPartOfWord = 3;

// The calendars whose month names a language writes besides Gregorian ones.
const std::vector<QCalendar::System>& otherCalendarsOf(QLocale::Language language)
{
    return factsOf(language).otherCalendars;
}

bool hasName(const NameHit& hit, QLocale::Language language, int value, QCalendar::System calendar)
{
    return std::any_of(hit.names->begin(), hit.names->end(), [&](const DateCatalogue::Name& name) {
        return name.language == language && name.value == value && name.calendar == calendar;
    });
}

// The order of day, month and year in a Qt date format.
Order orderOf(const QString& format)
{
    Order order {};
    std::size_t found = 0;
    bool quoted = false;
    for (qsizetype at = 0; at < format.size() && found < order.size();) {
        const QChar c = format.at(at);
        qsizetype run = 1;
        while (at + run < format.size() && format.at(at + run) == c)
            ++run;
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        std::optional<DateField> field;
        if (!quoted && c == QLatin1Char('d') && run <= 2)
            field = DateField::Day;
        else if (!quoted && c == QLatin1Char('M'))
            field = DateField::Month;
        else if (!quoted && c == QLatin1Char('y'))
            field = DateField::Year;
        const auto filled = order.begin() + static_cast<std::ptrdiff_t>(found);
        if (field && std::find(order.begin(), filled, *field) == filled)
            order[found++] = *field;
        at += run;
    }
    return found == order.size() ? order : dayMonthYear;
}

} // namespace

const DateCatalogue& DateCatalogue::instance()
{
    static const DateCatalogue catalogue;
    return catalogue;
}

DateCatalogue::DateCatalogue()
{
    const QList<QLocale> all
        = QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    for (const QLocale& locale : all) {
        if (locale.language() == QLocale::C)
            continue;
        const int index = static_cast<int>(m_locales.size());
        m_locales.push_back({ locale, orderOf(locale.dateFormat(QLocale::LongFormat)),
            orderOf(locale.dateFormat(QLocale::ShortFormat)) });
        m_primary.try_emplace(locale.language(), index);
        addNames(&Named::months, locale, 12, QCalendar::System::Gregorian, [&locale](int month) {
            return QStringList { locale.monthName(month, QLocale::LongFormat),
                locale.monthName(month, QLocale::ShortFormat), locale.standaloneMonthName(month, QLocale::LongFormat),
                locale.standaloneMonthName(month, QLocale::ShortFormat) };
        });
        addNames(&Named::weekdays, locale, 7, QCalendar::System::Gregorian, [&locale](int day) {
            return QStringList { locale.dayName(day, QLocale::LongFormat), locale.dayName(day, QLocale::ShortFormat),
                locale.standaloneDayName(day, QLocale::LongFormat),
                locale.standaloneDayName(day, QLocale::ShortFormat) };
        });
        addCalendarNames(locale);
    }
    // The locale Qt gives a bare language is that language's own.
    for (auto& [language, index] : m_primary) {
        const QLocale bare(language);
        const auto own = std::find_if(
            m_locales.begin(), m_locales.end(), [&bare](const Locale& known) { return known.locale == bare; });
        if (own != m_locales.end())
            index = static_cast<int>(own - m_locales.begin());
    }
    // A machine whose language is C or POSIX (or one Qt does not know)
    // reads dates as the POSIX locale writes them: English names and
    // month/day/year, as its "%x" does.
    m_posix = indexOf(QLocale(QLocale::English, QLocale::UnitedStates));
    for (auto entry = m_names.cbegin(); entry != m_names.cend(); ++entry) {
        if (entry.key().size() >= shortestPartOfWord)
            m_beginnings[beginningOf(entry.key(), 0)] |= lengthBit(entry.key().size());
    }
    for (const Locale& known : m_locales)
        learnFillers(known.locale);
    for (const auto& [language, fillers] : m_fillers) {
        for (const QString& filler : fillers)
            m_fillerLanguages[filler].set(language);
    }
}

int DateCatalogue::indexOf(const QLocale& locale) const
{
    const auto found
        = std::find_if(m_locales.begin(), m_locales.end(), [&](const Locale& known) { return known.locale == locale; });
    if (found != m_locales.end())
        return static_cast<int>(found - m_locales.begin());
    const int primary = primaryLocale(locale.language());
    return primary >= 0 ? primary : m_posix;
}

int DateCatalogue::primaryLocale(QLocale::Language language) const
{
    const auto found = m_primary.find(language);
    return found == m_primary.end() ? -1 : found->second;
}

bool DateCatalogue::isFiller(QLocale::Language language, QStringView piece) const
{
    const auto found = m_fillers.find(language);
    return found != m_fillers.end() && found->second.contains(viewed(piece));
}

const DateCatalogue::Named* DateCatalogue::names(QStringView key) const
{
    const auto found = m_names.constFind(viewed(key));
    return found == m_names.constEnd() ? nullptr : &*found;
}

// Adds the names one locale gives `count` values. A key that names two
// values in one locale says nothing and is left out ("tháng" of "tháng 3",
// "月" of "3月"); a whole name wins over the longest word of another.
template <typename NamesOf>
void DateCatalogue::addNames(
    Names Named::*kind, const QLocale& locale, int count, QCalendar::System calendar, NamesOf namesOf)
{
    QHash<QString, int> whole;
    QHash<QString, int> longestWords;
    const auto note = [](QHash<QString, int>& keys, const QString& key, int value) {
        const auto found = keys.constFind(key);
        if (found == keys.constEnd())
            keys.insert(key, value);
        else if (*found != value)
            keys[key] = 0;
    };
    for (int value = 1; value <= count; ++value) {
        for (const QString& name : namesOf(value)) {
            const QString key = keyOf(name);
            if (key.size() < 2)
                continue;
            note(whole, key, value);
            if (key.contains(QLatin1Char(' ')))
                note(longestWords, longestWordOf(key), value);
        }
    }
    for (auto entry = longestWords.cbegin(); entry != longestWords.cend(); ++entry) {
        if (entry.key().size() >= shortestPartOfWord && !whole.contains(entry.key()))
            whole.insert(entry.key(), entry.value());
    }
    for (auto entry = whole.cbegin(); entry != whole.cend(); ++entry) {
        if (entry.value() == 0)
            continue;
        Names& names = m_names[entry.key()].*kind;
        const Name name { locale.language(), entry.value(), calendar };
        if (std::none_of(names.begin(), names.end(), [&](const Name& known) {
                return known.language == name.language && known.value == name.value && known.calendar == calendar;
            }))
            names.push_back(name);
        const auto words = static_cast<int>(entry.key().count(QLatin1Char(' ')) + 1);
        m_mostWords = std::max(m_mostWords, words);
        if (words == 1)
            m_longestWord = std::max(m_longestWord, entry.key().size());
    }
}

void DateCatalogue::addCalendarNames(const QLocale& locale)
{
    for (const QCalendar::System system : otherCalendarsOf(locale.language())) {
        const QCalendar calendar(system);
        addNames(&Named::months, locale, 12, system, [&](int month) {
            return QStringList { calendar.monthName(locale, month, QCalendar::Unspecified, QLocale::LongFormat),
                calendar.monthName(locale, month, QCalendar::Unspecified, QLocale::ShortFormat),
                calendar.standaloneMonthName(locale, month, QCalendar::Unspecified, QLocale::LongFormat),
                calendar.standaloneMonthName(locale, month, QCalendar::Unspecified, QLocale::ShortFormat) };
        });
    }
}

// What a locale's own dates hold besides names and numbers: read from the
// twelve months of a year in its long format and a day in its short one,
// the same way a text is read later, so that every date the locale writes
// is accounted for in whole.
void DateCatalogue::learnFillers(const QLocale& locale)
{
    QSet<QString>& fillers = m_fillers[locale.language()];
    const auto learn = [&](const QString& text, QDate date, QCalendar::System calendar) {
        const QString folded = text.toCaseFolded();
        const SplitText pieces = split(folded);
        const NameHits hits = findNames(folded, pieces, *this);
        const int month = QCalendar(calendar).partsFromDate(date).month;
        for (const QString& piece :
            unexplained(folded, pieces, hits, { locale.language(), month, date.dayOfWeek(), calendar }))
            fillers.insert(piece);
    };
    for (int month = 1; month <= 12; ++month) {
        const QDate date(2020, month, 6);
        learn(locale.toString(date, QLocale::LongFormat), date, QCalendar::System::Gregorian);
        for (const QCalendar::System system : otherCalendarsOf(locale.language()))
            learn(locale.toString(date, QLocale::LongFormat, QCalendar(system)), date, system);
    }
    learn(locale.toString(QDate(2020, 3, 6), QLocale::ShortFormat), QDate(2020, 3, 6), QCalendar::System::Gregorian);
    for (const bool afterNoon : { false, true }) {
        const QString key = keyOf(afterNoon ? locale.pmText() : locale.amText());
        for (const QString& word : key.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            m_timeMarkers.insert(word);
            QHash<QLocale::Language, int>& halves = m_halvesOfDay[word];
            const int half = afterNoon ? DateCatalogue::afterNoon : beforeNoon;
            halves[locale.language()] |= half;
            halves[QLocale::AnyLanguage] |= half;
        }
    }
    for (const QString& word : factsOf(locale.language()).fillers)
        fillers.insert(word);
}

const LanguageSet* DateCatalogue::languagesWithFiller(QStringView piece) const
{
    const auto found = m_fillerLanguages.constFind(viewed(piece));
    return found == m_fillerLanguages.constEnd() ? nullptr : &*found;
}

namespace {

// Notes the names `key` is, found at [start, end) of a text.
void look(
    NameHits& hits, const DateCatalogue& catalogue, qsizetype start, qsizetype end, bool wholeWords, QStringView key)
{
    const DateCatalogue::Named* named = catalogue.names(key);
    if (!named)
        return;
    if (!named->months.empty())
        hits.months.push_back({ start, end, wholeWords, &named->months });
    if (!named->weekdays.empty())
        hits.weekdays.push_back({ start, end, wholeWords, &named->weekdays });
}

// Whole words from `first` on, alone and with the words that follow them up
// to the next number ("كانون الثاني", "sánzá ya yambo"). `key` is scratch
// space, kept from word to word.
void lookWholeWords(NameHits& hits, const QString& folded, const std::vector<Word>& words, std::size_t first,
    const DateCatalogue& catalogue, QString& key)
{
    const Word& from = words[first];
    const QStringView alone = QStringView(folded).sliced(from.start, from.end - from.start);
    look(hits, catalogue, from.start, from.end, true, alone);
    const std::size_t most = first + static_cast<std::size_t>(catalogue.mostWords());
    for (std::size_t last = first + 1; last < words.size() && last < most && !words[last].afterNumber; ++last) {
        const Word& word = words[last];
        if (last == first + 1)
            key = alone.toString();
        key += QLatin1Char(' ');
        const qsizetype before = key.size();
        key += QStringView(folded).sliced(word.start, word.end - word.start);
        // The last word of a name of several may carry an ending
        // ("нэгдүгээр сарын" for "нэгдүгээр сар"): found as a part.
        for (qsizetype cut = word.start + 1; cut < word.end; ++cut)
            look(hits, catalogue, from.start, cut, false, QStringView(key).first(before + cut - word.start));
        look(hits, catalogue, from.start, word.end, true, key);
    }
}

// Parts of a word, for the languages that write a date without spaces
// ("6日金曜日").
void lookInsideWord(NameHits& hits, const QString& folded, const Word& word, const DateCatalogue& catalogue)
{
    for (qsizetype start = word.start; start + shortestPartOfWord <= word.end; ++start) {
        const quint64 lengths = catalogue.nameLengthsAt(folded, start);
        if (lengths == 0)
            continue;
        const qsizetype longest = std::min(word.end - start, catalogue.longestWord());
        for (qsizetype length = longest; length >= shortestPartOfWord; --length) {
            if ((lengths & DateCatalogue::lengthBit(length)) == 0)
                continue;
            if (start == word.start && length == word.end - word.start)
                continue; // the whole word, looked up with the whole words
            look(hits, catalogue, start, start + length, false, QStringView(folded).sliced(start, length));
        }
    }
}

// The languages that may account for a word: at each of its ends, those
// with a name over its character there, and those whose other words are
// the whole word or the piece from that end to where a name of any
// language begins (or ends) inside it. A time marker is any language's.
LanguageSet languagesOfWord(const QString& folded, const SplitText& split, const Word& word, const NameHits& hits,
    const DateCatalogue& catalogue)
{
    const auto ofPiece = [&](qsizetype from, qsizetype to, LanguageSet& languages) {
        const QStringView piece = QStringView(folded).sliced(from, to - from);
        if (split.timeOfDay && catalogue.isTimeMarker(piece))
            languages.set();
        else if (const LanguageSet* fillers = catalogue.languagesWithFiller(piece))
            languages |= *fillers;
    };
    LanguageSet whole;
    ofPiece(word.start, word.end, whole);
    const auto atEnd = [&](bool first) {
        LanguageSet languages = whole;
        QVarLengthArray<qsizetype, 16> boundaries;
        const qsizetype at = first ? word.start : word.end - 1;
        for (const Hits* found : { &hits.months, &hits.weekdays }) {
            for (const NameHit& hit : *found) {
                if (hit.covers(at)) {
                    for (const DateCatalogue::Name& name : *hit.names)
                        languages.set(name.language);
                }
                const qsizetype boundary = first ? hit.start : hit.end;
                if (boundary > word.start && boundary < word.end && !boundaries.contains(boundary)) {
                    boundaries.append(boundary);
                    first ? ofPiece(word.start, boundary, languages) : ofPiece(boundary, word.end, languages);
                }
            }
        }
        return languages;
    };
    LanguageSet languages = atEnd(true);
    if (languages.any())
        languages &= atEnd(false);
    return languages;
}

} // namespace

NameHits findNames(const QString& folded, const SplitText& split, const DateCatalogue& catalogue, LanguageSet* possible)
{
    NameHits hits;
    QString key;
    if (possible)
        possible->set();
    for (std::size_t first = 0; first < split.words.size(); ++first) {
        const Word& word = split.words[first];
        lookWholeWords(hits, folded, split.words, first, catalogue, key);
        lookInsideWord(hits, folded, word, catalogue);
        // The names over this word are all found: later ones begin after it.
        if (!possible)
            continue;
        *possible &= languagesOfWord(folded, split, word, hits, catalogue);
        if (possible->none())
            break;
    }
    return hits;
}

Coverage coverage(qsizetype length, const NameHits& hits, const Meaning& meaning)
{
    Coverage covered(length, false);
    const auto cover = [&](const Hits& found, int value, QCalendar::System calendar) {
        if (value <= 0)
            return;
        for (const NameHit& hit : found) {
            if (hasName(hit, meaning.language, value, calendar))
                std::fill(covered.begin() + hit.start, covered.begin() + hit.end, true);
        }
    };
    cover(hits.months, meaning.month, meaning.calendar);
    cover(hits.weekdays, meaning.weekday, QCalendar::System::Gregorian);
    return covered;
}

QStringList unexplained(const QString& folded, const SplitText& split, const NameHits& hits, const Meaning& meaning)
{
    QStringList pieces;
    (void)eachUncovered(folded, split.words, coverage(folded.size(), hits, meaning), [&](QStringView piece) {
        pieces << piece.toString();
        return true;
    });
    return pieces;
}

} // namespace deptest
