#include "dates/DateReader.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <optional>
#include <tuple>
#include <unordered_map>

namespace deptest {

namespace {

enum class Field { Day, Month, Year };
using Order = std::array<Field, 3>;

constexpr Order dayMonthYear { Field::Day, Field::Month, Field::Year };
constexpr Order monthDayYear { Field::Month, Field::Day, Field::Year };
constexpr Order yearMonthDay { Field::Year, Field::Month, Field::Day };

// No date text is this long; anything longer is no date and is not searched.
constexpr qsizetype longestDateText = 200;
// Inside a word, names are looked for from this length on.
constexpr qsizetype shortestPartOfWord = 3;

// One character of a text, which may take two UTF-16 units.
struct CodePoint {
    char32_t value;
    qsizetype length;
};

CodePoint codePointAt(const QString& text, qsizetype at)
{
    const QChar c = text.at(at);
    if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return { QChar::surrogateToUcs4(c, text.at(at + 1)), 2 };
    return { c.unicode(), 1 };
}

bool isWordCharacter(char32_t c) { return QChar::isLetter(c) || QChar::isMark(c); }

// A run of letters (with their marks) in a text: [start, end).
struct Word {
    qsizetype start;
    qsizetype end;
    bool afterNumber; // a number stands between this word and the one before
};

struct Number {
    int value { 0 };
    int digits { 0 };
    qsizetype position { 0 };
};

// The words and numbers of a case-folded text, in order.
void split(const QString& text, std::vector<Word>* words, std::vector<Number>* numbers)
{
    bool numberSeen = false;
    for (qsizetype at = 0; at < text.size();) {
        const CodePoint c = codePointAt(text, at);
        if (QChar::isDigit(c.value)) {
            Number number { 0, 0, at };
            for (CodePoint digit = c; QChar::isDigit(digit.value);) {
                if (number.digits < 9)
                    number.value = number.value * 10 + QChar::digitValue(digit.value);
                ++number.digits;
                at += digit.length;
                if (at >= text.size())
                    break;
                digit = codePointAt(text, at);
            }
            if (numbers)
                numbers->push_back(number);
            numberSeen = true;
            continue;
        }
        if (!isWordCharacter(c.value)) {
            at += c.length;
            continue;
        }
        const qsizetype start = at;
        for (CodePoint letter = c; isWordCharacter(letter.value);) {
            at += letter.length;
            if (at >= text.size())
                break;
            letter = codePointAt(text, at);
        }
        words->push_back({ start, at, numberSeen });
        numberSeen = false;
    }
}

// The key a name is found by: its words, case-folded, one space apart
// ("d’abril" is "d abril", "févr." is "févr").
QString keyOf(const QString& name)
{
    const QString folded = name.toCaseFolded();
    std::vector<Word> words;
    split(folded, &words, nullptr);
    QString key;
    for (const Word& word : words) {
        if (!key.isEmpty())
            key += QLatin1Char(' ');
        key += QStringView(folded).sliced(word.start, word.end - word.start);
    }
    return key;
}

// The longest word of a name of several words, by which the name is also
// found when its other words are written otherwise.
QString longestWordOf(const QString& key)
{
    QString longest;
    for (const QString& word : key.split(QLatin1Char(' ')))
        if (word.size() > longest.size())
            longest = word;
    return longest;
}

// The order of day, month and year in a Qt date format. "ddd" and "dddd"
// are weekday names, and quoted text is literal.
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
        std::optional<Field> field;
        if (!quoted && c == QLatin1Char('d') && run <= 2)
            field = Field::Day;
        else if (!quoted && c == QLatin1Char('M'))
            field = Field::Month;
        else if (!quoted && c == QLatin1Char('y'))
            field = Field::Year;
        const auto filled = order.begin() + static_cast<std::ptrdiff_t>(found);
        if (field && std::find(order.begin(), filled, *field) == filled)
            order[found++] = *field;
        at += run;
    }
    return found == order.size() ? order : dayMonthYear;
}

} // namespace

// What every locale Qt knows writes in a date: its month and weekday
// names, and the order of day, month and year in its formats. Built once,
// on the first date read, and shared by every reader.
class DateCatalogue {
public:
    struct Locale {
        QLocale locale;
        Order longOrder {};
        Order shortOrder {};
    };
    // A name as one language uses it: for a month 1-12, for a weekday 1-7
    // (Monday first).
    struct Name {
        QLocale::Language language;
        int value;
    };
    using Names = std::vector<Name>;

    static const DateCatalogue& instance()
    {
        static const DateCatalogue catalogue;
        return catalogue;
    }

    [[nodiscard]] int indexOf(const QLocale& locale) const
    {
        const auto found = std::find_if(
            m_locales.begin(), m_locales.end(), [&](const Locale& known) { return known.locale == locale; });
        if (found != m_locales.end())
            return static_cast<int>(found - m_locales.begin());
        return primaryLocale(locale.language());
    }
    [[nodiscard]] const Locale& locale(int index) const { return m_locales[static_cast<std::size_t>(index)]; }
    [[nodiscard]] int primaryLocale(QLocale::Language language) const
    {
        const auto found = m_primary.find(language);
        return found == m_primary.end() ? -1 : found->second;
    }
    // The locale of a language that writes `date` as `text` in its long
    // format; else one whose long dates put the fields in `order`; else the
    // language's own.
    [[nodiscard]] int localeWriting(
        QLocale::Language language, QDate date, const QString& text, const Order& order) const
    {
        int sameOrder = -1;
        for (std::size_t index = 0; index < m_locales.size(); ++index) {
            const Locale& candidate = m_locales[index];
            if (candidate.locale.language() != language)
                continue;
            if (candidate.locale.toString(date, QLocale::LongFormat).toCaseFolded() == text)
                return static_cast<int>(index);
            if (sameOrder < 0 && candidate.longOrder == order)
                sameOrder = static_cast<int>(index);
        }
        const int primary = primaryLocale(language);
        if (primary >= 0 && locale(primary).longOrder == order)
            return primary;
        return sameOrder >= 0 ? sameOrder : primary;
    }

    [[nodiscard]] const Names* months(const QString& key) const { return find(m_months, key); }
    [[nodiscard]] const Names* weekdays(const QString& key) const { return find(m_weekdays, key); }
    [[nodiscard]] int mostWords() const { return m_mostWords; }
    [[nodiscard]] qsizetype longestWord() const { return m_longestWord; }

private:
    using Index = QHash<QString, Names>;

    DateCatalogue()
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
            addNames(m_months, locale, 12, [&locale](int month) {
                return QStringList { locale.monthName(month, QLocale::LongFormat),
                    locale.monthName(month, QLocale::ShortFormat),
                    locale.standaloneMonthName(month, QLocale::LongFormat),
                    locale.standaloneMonthName(month, QLocale::ShortFormat) };
            });
            addNames(m_weekdays, locale, 7, [&locale](int day) {
                return QStringList { locale.dayName(day, QLocale::LongFormat),
                    locale.dayName(day, QLocale::ShortFormat), locale.standaloneDayName(day, QLocale::LongFormat),
                    locale.standaloneDayName(day, QLocale::ShortFormat) };
            });
        }
        // The locale Qt gives a bare language is that language's own.
        for (auto& [language, index] : m_primary) {
            const int own = indexOf(QLocale(language));
            if (own >= 0)
                index = own;
        }
    }

    // Adds the names one locale gives `count` values. A key that names two
    // values in one locale says nothing and is left out ("tháng" of "tháng
    // 3"); a whole name wins over the longest word of another.
    template <typename NamesOf> void addNames(Index& index, const QLocale& locale, int count, NamesOf namesOf)
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
            Names& names = index[entry.key()];
            const Name name { locale.language(), entry.value() };
            if (std::none_of(names.begin(), names.end(),
                    [&](const Name& known) { return known.language == name.language && known.value == name.value; }))
                names.push_back(name);
            const auto words = static_cast<int>(entry.key().count(QLatin1Char(' ')) + 1);
            m_mostWords = std::max(m_mostWords, words);
            if (words == 1)
                m_longestWord = std::max(m_longestWord, entry.key().size());
        }
    }

    static const Names* find(const Index& index, const QString& key)
    {
        const auto found = index.constFind(key);
        return found == index.constEnd() ? nullptr : &*found;
    }

    std::vector<Locale> m_locales;
    std::unordered_map<QLocale::Language, int> m_primary;
    Index m_months;
    Index m_weekdays;
    int m_mostWords { 1 };
    qsizetype m_longestWord { 0 };
};

namespace {

using Name = DateCatalogue::Name;
using Names = DateCatalogue::Names;

// A name found in the text: where, how long, whether it is made of whole
// words, and what it may mean.
struct Hit {
    qsizetype start { 0 };
    qsizetype end { 0 };
    bool wholeWords { false };
    const Names* names { nullptr };

    [[nodiscard]] qsizetype length() const { return end - start; }
    [[nodiscard]] bool overlaps(const Hit& other) const { return start < other.end && other.start < end; }
};

struct Analysis {
    std::vector<Number> numbers;
    std::vector<Hit> months;
    std::vector<Hit> weekdays;
};

Analysis analyse(const QString& folded, const DateCatalogue& catalogue)
{
    Analysis analysis;
    std::vector<Word> words;
    split(folded, &words, &analysis.numbers);
    const auto look = [&](qsizetype start, qsizetype end, bool wholeWords, const QString& key) {
        if (const Names* months = catalogue.months(key))
            analysis.months.push_back({ start, end, wholeWords, months });
        if (const Names* weekdays = catalogue.weekdays(key))
            analysis.weekdays.push_back({ start, end, wholeWords, weekdays });
    };
    for (std::size_t first = 0; first < words.size(); ++first) {
        // Whole words, alone and with the words that follow them up to
        // the next number ("كانون الثاني", "sánzá ya yambo").
        QString key;
        for (std::size_t last = first; last < words.size() && last < first + std::size_t(catalogue.mostWords());
             ++last) {
            if (last > first && words[last].afterNumber)
                break;
            if (!key.isEmpty())
                key += QLatin1Char(' ');
            if (last > first) {
                // The last word of a name of several may carry an ending
                // ("нэгдүгээр сарын" for "нэгдүгээр сар"): found as a part.
                for (qsizetype cut = words[last].start + 1; cut < words[last].end; ++cut)
                    look(words[first].start, cut, false,
                        key + folded.sliced(words[last].start, cut - words[last].start));
            }
            key += QStringView(folded).sliced(words[last].start, words[last].end - words[last].start);
            look(words[first].start, words[last].end, true, key);
        }
        // Parts of a word, for the languages that write a date without
        // spaces ("6日金曜日").
        const Word& word = words[first];
        for (qsizetype start = word.start; start < word.end; ++start) {
            const qsizetype longest = std::min(word.end - start, catalogue.longestWord());
            for (qsizetype length = longest; length >= shortestPartOfWord; --length) {
                if (start == word.start && length == word.end - word.start)
                    continue; // the whole word, looked up above
                look(start, start + length, false, folded.sliced(start, length));
            }
        }
    }
    return analysis;
}

int fullYear(const Number& year)
{
    if (year.digits > 2)
        return year.value;
    return year.value < 30 ? 2000 + year.value : 1900 + year.value;
}

bool looksLikeYear(const Number& number) { return number.digits > 2 || number.value > 31; }

// A day that some language reads in the text, with what speaks for it.
struct Candidate {
    QDate date;
    int locale { -1 };
    QLocale::Language language { QLocale::AnyLanguage };
    bool confirmed { false }; // a weekday name in the text agrees with the day
    bool covered { false }; // the month name lies inside a longer weekday name
    bool wholeWords { true }; // the month name is whole words of the text
    qsizetype nameLength { 0 };
    qsizetype recognised { 0 };
    bool exact { false }; // the locale writes this day as exactly this text
    bool byNumbers { false }; // no month name: the order of the numbers decides
};

// The weekday names that agree with `date`, in `language` or in any.
const Hit* confirmingWeekday(
    const std::vector<const Hit*>& weekdays, QDate date, std::optional<QLocale::Language> language)
{
    for (const Hit* hit : weekdays) {
        for (const Name& name : *hit->names) {
            if (name.value == date.dayOfWeek() && (!language || name.language == *language))
                return hit;
        }
    }
    return nullptr;
}

qsizetype longest(const std::vector<const Hit*>& hits)
{
    qsizetype length = 0;
    for (const Hit* hit : hits)
        length = std::max(length, hit->length());
    return length;
}

} // namespace

DateReader::DateReader(const QLocale& machine)
    : m_catalogue(DateCatalogue::instance())
    , m_machineLocale(m_catalogue.indexOf(machine))
{
}

DateReader::Reading DateReader::examine(const QString& text) const
{
    if (text.size() > longestDateText)
        return {};
    // Most texts of a list are written as the list's own locale (or this
    // machine's) writes its long dates: one parse and one check.
    for (const int known : { m_listLocale, m_machineLocale }) {
        if (known < 0)
            continue;
        const QLocale& locale = m_catalogue.locale(known).locale;
        const QString format = locale.dateFormat(QLocale::LongFormat);
        const QDate date = locale.toDate(text, format);
        if (date.isValid() && locale.toString(date, format) == text)
            return { date, static_cast<int>(text.size()), format.contains(QLatin1String("ddd")), known };
    }
    const QString folded = text.toCaseFolded();
    const QString trimmed = folded.trimmed();
    const Analysis analysis = analyse(folded, m_catalogue);
    std::vector<const Hit*> weekdayHits;
    for (const Hit& hit : analysis.weekdays)
        weekdayHits.push_back(&hit);
    const auto languageOf = [this](int locale) {
        return locale < 0 ? QLocale::AnyLanguage : m_catalogue.locale(locale).locale.language();
    };

    std::vector<Candidate> candidates;
    // A date with a month name: the name and two numbers, day and year.
    if (analysis.numbers.size() == 2) {
        const Number& first = analysis.numbers[0];
        const Number& second = analysis.numbers[1];
        for (const Hit& monthHit : analysis.months) {
            const Hit* month = &monthHit;
            std::vector<const Hit*> weekdays;
            bool covered = false;
            for (const Hit* weekday : weekdayHits) {
                if (!weekday->overlaps(*month))
                    weekdays.push_back(weekday);
                else if (weekday->length() > month->length())
                    covered = true;
            }
            for (const Name& name : *month->names) {
                // The year is the number that can only be a year, or else
                // the one where the language's long dates put it.
                bool yearFirst = looksLikeYear(first);
                if (looksLikeYear(first) == looksLikeYear(second)) {
                    if (looksLikeYear(first))
                        break;
                    const int primary = m_catalogue.primaryLocale(name.language);
                    const Order& order = m_catalogue.locale(primary < 0 ? m_machineLocale : primary).longOrder;
                    yearFirst = std::find(order.begin(), order.end(), Field::Year)
                        < std::find(order.begin(), order.end(), Field::Day);
                }
                const Number& year = yearFirst ? first : second;
                const Number& day = yearFirst ? second : first;
                const QDate date(fullYear(year), name.value, day.value);
                if (!date.isValid())
                    continue;
                // The order the text wrote its fields in tells the territory
                // (en_US "March 6, 2020", en_GB "6 March 2020").
                std::array<std::pair<qsizetype, Field>, 3> positions { { { day.position, Field::Day },
                    { month->start, Field::Month }, { year.position, Field::Year } } };
                std::sort(positions.begin(), positions.end());
                const Order written { positions[0].second, positions[1].second, positions[2].second };
                const Hit* weekday = confirmingWeekday(weekdays, date, name.language);
                candidates.push_back({ date, m_catalogue.localeWriting(name.language, date, trimmed, written),
                    name.language, weekday != nullptr, covered, month->wholeWords, month->length(),
                    month->length() + (weekday ? weekday->length() : longest(weekdays)) });
            }
        }
    }
    // A date of numbers alone: day, month and year in the order of the
    // list's language, of this machine, or of any; the first that is a day.
    if (candidates.empty() && analysis.numbers.size() == 3) {
        // An order and the locale it comes from: those of the languages
        // whose weekday names the text holds, of the list, of this machine,
        // then any.
        std::vector<std::pair<Order, int>> orders;
        for (const Hit* weekday : weekdayHits) {
            for (const Name& name : *weekday->names) {
                const int locale = m_catalogue.primaryLocale(name.language);
                if (locale >= 0) {
                    orders.emplace_back(m_catalogue.locale(locale).longOrder, locale);
                    orders.emplace_back(m_catalogue.locale(locale).shortOrder, locale);
                }
            }
        }
        if (m_listLocale >= 0)
            orders.emplace_back(m_catalogue.locale(m_listLocale).shortOrder, m_listLocale);
        orders.emplace_back(m_catalogue.locale(m_machineLocale).shortOrder, m_machineLocale);
        for (const Order& order : { yearMonthDay, dayMonthYear, monthDayYear })
            orders.emplace_back(order, -1);
        for (const auto& [order, locale] : orders) {
            std::array<int, 3> values {}; // day, month, year
            bool fits = true;
            for (std::size_t place = 0; place < order.size(); ++place) {
                const Number& number = analysis.numbers[place];
                const Field field = order[place];
                fits = fits && (field == Field::Year || number.digits <= 2);
                values[static_cast<std::size_t>(field)] = field == Field::Year ? fullYear(number) : number.value;
            }
            const QDate date(values[2], values[1], values[0]);
            if (!fits || !date.isValid())
                continue;
            const QLocale::Language language = languageOf(locale);
            const Hit* weekday = confirmingWeekday(
                weekdayHits, date, language == QLocale::AnyLanguage ? std::nullopt : std::optional(language));
            candidates.push_back({ date, locale, language, weekday != nullptr, false, true, 0,
                weekday ? weekday->length() : longest(weekdayHits), false, true });
        }
    }
    if (candidates.empty())
        return {};
    for (Candidate& candidate : candidates) {
        if (candidate.locale < 0)
            continue;
        const QLocale& locale = m_catalogue.locale(candidate.locale).locale;
        candidate.exact = locale.toString(candidate.date, QLocale::LongFormat).toCaseFolded() == trimmed
            || locale.toString(candidate.date, QLocale::ShortFormat).toCaseFolded() == trimmed;
    }

    // A weekday that agrees decides; a month name that is part of a longer
    // weekday name, or found inside a word, is the weaker reading; then the
    // list's language, this machine's, a locale that writes the day as
    // exactly this text, and the longer name. The first candidate wins a tie.
    const QLocale::Language listLanguage = languageOf(m_listLocale);
    const QLocale::Language machineLanguage = languageOf(m_machineLocale);
    // Numbers alone are read in the order of the list's own territory
    // (en_US and en_GB differ there), names in its language.
    const auto rank = [&](const Candidate& c) {
        const bool list = c.byNumbers ? c.locale >= 0 && c.locale == m_listLocale
                                      : listLanguage != QLocale::AnyLanguage && c.language == listLanguage;
        const bool machine = c.byNumbers ? c.locale == m_machineLocale : c.language == machineLanguage;
        return std::tuple(c.confirmed, !c.covered, c.wholeWords, list, machine, c.exact, c.nameLength);
    };
    const Candidate* chosen = &candidates.front();
    for (const Candidate& candidate : candidates) {
        if (rank(candidate) > rank(*chosen))
            chosen = &candidate;
    }
    return { chosen->date, static_cast<int>(chosen->recognised), chosen->confirmed, chosen->locale };
}

void DateReader::adopt(const Reading& reading)
{
    if (reading.date.isValid() && reading.locale >= 0)
        m_listLocale = reading.locale;
}

QDate DateReader::read(const QString& text)
{
    const Reading reading = examine(text);
    adopt(reading);
    return reading.date;
}

} // namespace deptest
