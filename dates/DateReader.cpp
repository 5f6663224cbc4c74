#include "dates/DateReader.h"

#include "dates/DateWords.h"
#include "dates/Languages.h"
#include "dates/TimeInText.h"
#include "dates/Timestamp.h"

#include <QRegularExpression>

#include <algorithm>
#include <tuple>

namespace deptest {

namespace {

// No date text is this long; anything longer is no date and is not searched.
constexpr qsizetype longestDateText = 200;
// No file is dated this late in the common era: such a year is one of a
// language's own era, or no year at all.
constexpr int firstYearNoFileHas = 2400;

int fullYear(const Number& year)
{
    if (year.digits > 2)
        return year.value;
    return year.value < 30 ? 2000 + year.value : 1900 + year.value;
}

bool looksLikeYear(const Number& number) { return number.digits > 2 || number.value > 31; }

// The year of the common era a number is in a language; 0 for none: a
// year from 2400 on is one of the language's own era (the Thai Buddhist
// era), and in a language without one it is no year a file has.
int yearIn(QLocale::Language language, const Number& number)
{
    const int year = fullYear(number);
    if (year < firstYearNoFileHas)
        return year;
    const LanguageFacts& facts = factsOf(language);
    return facts.eraOffset != 0 && year >= facts.firstEraYear ? year - facts.eraOffset : 0;
}

// Day, month and year from three numbers in an order; none when the
// numbers do not fit it.
QDate dateInOrder(const std::vector<Number>& numbers, const Order& order, QLocale::Language language)
{
    std::array<int, 3> values {}; // day, month, year
    for (std::size_t place = 0; place < order.size(); ++place) {
        const Number& number = numbers[place];
        const DateField field = order[place];
        if (field != DateField::Year && number.digits > 2)
            return {};
        if (field == DateField::Year && number.digits != 2 && number.digits != 4)
            return {};
        values[static_cast<std::size_t>(field)] = field == DateField::Year ? yearIn(language, number) : number.value;
    }
    if (values[2] == 0)
        return {};
    return { values[2], values[1], values[0] };
}

// The day here of the moment at `time` on the day `written`, at each of
// the hours it may be: none when there are none, or when they fall on
// different days here.
QDate dayHere(const QDate& written, const std::vector<int>& hours, const TimeInText& time)
{
    QDate day;
    for (const int hour : hours) {
        const std::optional<FileTime> here
            = timeHere({ FileTime { written.year(), written.month(), written.day(), hour, time.minute, time.second },
                time.offsetMinutes });
        const QDate dayOfHour = here ? QDate(here->year, here->month, here->day) : QDate();
        if (!dayOfHour.isValid() || (day.isValid() && day != dayOfHour))
            return {};
        day = dayOfHour;
    }
    return day;
}

} // namespace

// A text as the reader sees it: case-folded, split, its names found, and
// the languages that may account for it.
struct DateReader::Text {
    QString folded;
    SplitText split;
    NameHits hits;
    LanguageSet possible;
};

DateReader::DateReader(const QLocale& machine)
    : m_catalogue(DateCatalogue::instance())
    , m_machineLocale(m_catalogue.indexOf(machine))
{
}

std::vector<DateReader::Candidate> DateReader::candidates(
    const QString& text, const ListFacts& list, bool* byList) const
{
    std::vector<Candidate> found;
    if (byList)
        *byList = false;
    if (text.size() > longestDateText)
        return found;
    const TimeInText time = findTimeInText(text);
    if (time.zone == TimeInText::Zone::Unusable)
        return found;
    Text read;
    read.folded = caseFolded(time.dateText);
    read.split = split(read.folded);
    if (byList)
        *byList = read.split.numbers.size() == 3;
    if (read.split.numbers.size() != 2 && read.split.numbers.size() != 3)
        return found;
    read.hits = findNames(read.folded, read.split, m_catalogue, &read.possible);
    if (read.split.numbers.size() == 2)
        readNamed(read, found);
    else
        readNumbers(read, list, found);
    if (time.zone == TimeInText::Zone::Named)
        toDaysHere(read, time, found);
    return found;
}

// A text that names its zone is a moment: each reading's day becomes the
// day that moment falls on here. The hour of a twelve-hour clock counts
// only with a word that says which half of the day it is in.
void DateReader::toDaysHere(const Text& text, const TimeInText& time, std::vector<Candidate>& found) const
{
    // A moment's year has four digits: "20-03-06" is a day of 2020 in one
    // language's order and of 2006 in another's.
    if (std::none_of(text.split.numbers.begin(), text.split.numbers.end(),
            [](const Number& number) { return number.digits == 4; })) {
        found.clear();
        return;
    }
    const std::vector<QStringView> markers = timeMarkersAround(text, time);
    const bool unmarkedTwelveHours = std::any_of(found.begin(), found.end(),
        [](const Candidate& candidate) { return factsOf(candidate.language).unmarkedTwelveHourClock; });
    std::erase_if(found, [&](Candidate& candidate) {
        candidate.date = dayHere(candidate.date, hoursIn(candidate.language, markers, time, unmarkedTwelveHours), time);
        return !candidate.date.isValid();
    });
}

// AM or PM: the words of time markers right before or after the time.
std::vector<QStringView> DateReader::timeMarkersAround(const Text& text, const TimeInText& time) const
{
    std::vector<QStringView> markers;
    const auto onlySpaceBetween = [&](qsizetype from, qsizetype to) {
        return std::none_of(text.folded.begin() + from, text.folded.begin() + to, [](QChar c) { return c.isDigit(); });
    };
    const auto note = [&](const Word& word) {
        const QStringView piece = QStringView(text.folded).sliced(word.start, word.end - word.start);
        if (!m_catalogue.isTimeMarker(piece))
            return false;
        markers.push_back(piece);
        return true;
    };
    qsizetype edge = time.timeEnd;
    for (const Word& word : text.split.words) {
        if (word.start < time.timeEnd)
            continue;
        if (!onlySpaceBetween(edge, word.start) || !note(word))
            break;
        edge = word.end;
    }
    edge = time.timeStart;
    for (auto word = text.split.words.rbegin(); word != text.split.words.rend(); ++word) {
        if (word->end > time.timeStart)
            continue;
        if (!onlySpaceBetween(word->end, edge) || !note(*word))
            break;
        edge = word->start;
    }
    return markers;
}

// The hours the time may be in a language: with markers, the half of the
// day they name there (else in any language), and none where they name
// both or neither. An hour without a marker is on the 24-hour clock, but
// in the languages whose `date` leaves the marker of a twelve-hour clock
// out (`unmarkedTwelveHours`), an hour from 1 to 12 is that hour or
// twelve hours later, and read only where both fall on the same day here.
std::vector<int> DateReader::hoursIn(QLocale::Language language, const std::vector<QStringView>& markers,
    const TimeInText& time, bool unmarkedTwelveHours) const
{
    if (markers.empty()) {
        if (unmarkedTwelveHours && time.hour >= 1 && time.hour <= 12)
            return { time.hour, time.hour % 12 + 12 * (time.hour == 12 ? 0 : 1) };
        return { time.hour };
    }
    constexpr int both = DateCatalogue::beforeNoon | DateCatalogue::afterNoon;
    int halves = 0;
    for (const QStringView marker : markers) {
        int half = m_catalogue.halvesOfDay(marker, language);
        if (half == 0)
            half = m_catalogue.halvesOfDay(marker, QLocale::AnyLanguage);
        if (half != both)
            halves |= half;
    }
    if ((halves != DateCatalogue::beforeNoon && halves != DateCatalogue::afterNoon) || time.hour < 1 || time.hour > 12)
        return {};
    return { time.hour % 12 + (halves == DateCatalogue::afterNoon ? 12 : 0) };
}

bool DateReader::accountsForAll(const Text& text, const Meaning& meaning, qsizetype* recognised) const
{
    qsizetype left = 0;
    const Coverage covered = coverage(text.folded.size(), text.hits, meaning);
    const bool explained = eachUncovered(text.folded, text.split.words, covered, [&](QStringView piece) {
        left += piece.size();
        return (text.split.timeOfDay && m_catalogue.isTimeMarker(piece))
            || m_catalogue.isFiller(meaning.language, piece);
    });
    if (!explained)
        return false;
    if (recognised) {
        qsizetype letters = 0;
        for (const Word& word : text.split.words)
            letters += word.end - word.start;
        *recognised = letters - left;
    }
    return true;
}

Order DateReader::longOrderOf(QLocale::Language language) const
{
    const int primary = m_catalogue.primaryLocale(language);
    return m_catalogue.locale(primary < 0 ? m_machineLocale : primary).longOrder;
}

// A month name and two numbers, day and year.
void DateReader::readNamed(const Text& text, std::vector<Candidate>& out) const
{
    const Number& first = text.split.numbers[0];
    const Number& second = text.split.numbers[1];
    if (looksLikeYear(first) && looksLikeYear(second))
        return;
    for (const NameHit& month : text.hits.months) {
        for (const DateCatalogue::Name& name : *month.names) {
            if (!text.possible.test(name.language))
                continue;
            // The year is the number that can only be a year, or else the
            // one where the language's long dates put it.
            bool yearFirst = looksLikeYear(first);
            if (looksLikeYear(first) == looksLikeYear(second)) {
                const Order order = longOrderOf(name.language);
                yearFirst = std::find(order.begin(), order.end(), DateField::Year)
                    < std::find(order.begin(), order.end(), DateField::Day);
            }
            const Number& year = yearFirst ? first : second;
            const Number& day = yearFirst ? second : first;
            // No year has more than four digits, as in numeric dates: a
            // longer number would be read by its first nine alone.
            if (day.digits > 2 || year.digits > 4)
                continue;
            const int inEra = yearIn(name.language, year);
            const QDate date = inEra == 0 ? QDate() : QDate(inEra, name.value, day.value, QCalendar(name.calendar));
            if (!date.isValid())
                continue;
            qsizetype recognised = 0;
            const Meaning bare { name.language, name.value, 0, name.calendar };
            Meaning withWeekday = bare;
            withWeekday.weekday = date.dayOfWeek();
            if (accountsForAll(text, bare, &recognised))
                out.push_back({ date, name.language, false, recognised });
            else if (accountsForAll(text, withWeekday, &recognised))
                out.push_back({ date, name.language, true, recognised });
        }
    }
}

// Three numbers, with no words or with words of one language's dates.
void DateReader::readNumbers(const Text& text, const ListFacts& list, std::vector<Candidate>& out) const
{
    LanguageSet languages;
    for (const Word& word : text.split.words) {
        const QStringView piece = QStringView(text.folded).sliced(word.start, word.end - word.start);
        if (text.split.timeOfDay && m_catalogue.isTimeMarker(piece))
            continue;
        if (const LanguageSet* fillers = m_catalogue.languagesWithFiller(piece))
            languages |= *fillers;
        for (const NameHit& weekday : text.hits.weekdays) {
            for (const DateCatalogue::Name& name : *weekday.names)
                languages.set(name.language);
        }
        break; // every language that can account for the text holds its first word
    }
    const bool wordless = std::all_of(text.split.words.begin(), text.split.words.end(), [&](const Word& word) {
        return text.split.timeOfDay
            && m_catalogue.isTimeMarker(QStringView(text.folded).sliced(word.start, word.end - word.start));
    });
    if (wordless) {
        readNumbersIn(text, QLocale::AnyLanguage, list, out);
        return;
    }
    languages &= text.possible;
    for (std::size_t language = 0; language < languages.size(); ++language) {
        if (languages.test(language))
            readNumbersIn(text, static_cast<QLocale::Language>(language), list, out);
    }
}

void DateReader::readNumbersIn(
    const Text& text, QLocale::Language language, const ListFacts& list, std::vector<Candidate>& out) const
{
    std::vector<Order> orders;
    if (const std::optional<Order> order = numericOrder(text, language, list))
        orders.push_back(*order);
    else if (language != QLocale::AnyLanguage) {
        const int primary = m_catalogue.primaryLocale(language);
        orders.push_back(m_catalogue.locale(primary).longOrder);
        orders.push_back(m_catalogue.locale(primary).shortOrder);
    }
    // Numbers alone have the list's era: Thai years in a Thai list.
    const QLocale::Language era = language == QLocale::AnyLanguage ? list.language : language;
    // A locale without month names writes the month's number after an "M"
    // ("2020 M01 6"): only an order with the month there reads it.
    std::optional<std::size_t> placeholderMonth;
    for (const Word& word : text.split.words) {
        for (std::size_t at = 0; at < text.split.numbers.size(); ++at) {
            if (text.split.numbers[at].position == word.end && word.end - word.start == 1
                && text.folded.at(word.start) == QLatin1Char('m'))
                placeholderMonth = at;
        }
    }
    for (const Order& order : orders) {
        if (placeholderMonth && order[*placeholderMonth] != DateField::Month)
            continue;
        const QDate date = dateInOrder(text.split.numbers, order, era);
        if (!date.isValid())
            continue;
        qsizetype recognised = 0;
        if (language == QLocale::AnyLanguage || accountsForAll(text, { language, 0, 0 }, &recognised))
            out.push_back({ date, language, false, recognised });
        else if (accountsForAll(text, { language, 0, date.dayOfWeek() }, &recognised))
            out.push_back({ date, language, true, recognised });
    }
}

// The order of a numeric date. Four digits first are a year first. Dots
// and dashes are day-month-year (always, with four digits last), or
// year-month-day where the language (else the list's, else this machine's)
// writes the year first; never month-day-year. Slashes follow the list's own slashed dates, else that
// language, unless a number above 12 shows the day. Other marks: none.
std::optional<Order> DateReader::numericOrder(const Text& text, QLocale::Language language, const ListFacts& list) const
{
    const std::vector<Number>& numbers = text.split.numbers;
    if (numbers[0].digits == 4)
        return yearMonthDay;
    int locale = m_machineLocale;
    if (language != QLocale::AnyLanguage)
        locale = m_catalogue.primaryLocale(language);
    else if (list.language != QLocale::AnyLanguage)
        locale = m_catalogue.primaryLocale(list.language);
    const Order languageOrder = m_catalogue.locale(locale).shortOrder;
    const QChar mark = text.split.separator;
    if (mark == QLatin1Char('.') || mark == QLatin1Char('-')) {
        if (numbers.size() >= 3 && numbers[2].digits == 4)
            return dayMonthYear;
        return languageOrder == yearMonthDay ? yearMonthDay : dayMonthYear;
    }
    if (mark != QLatin1Char('/'))
        return std::nullopt;
    const Order base = list.slashOrder ? *list.slashOrder : languageOrder;
    if (base == yearMonthDay)
        return base;
    if (numbers[0].value > 12)
        return dayMonthYear;
    if (numbers[1].value > 12)
        return monthDayYear;
    return base;
}

std::vector<Order> DateReader::ordersWriting(const QString& text, const Candidate& candidate) const
{
    std::vector<Order> orders;
    const QString folded = text.trimmed().toCaseFolded();
    for (int index = 0; index < m_catalogue.size(); ++index) {
        const DateCatalogue::Locale& known = m_catalogue.locale(index);
        if (known.locale.language() != candidate.language)
            continue;
        // The long format, and the same without the weekday name.
        const QString format = known.locale.dateFormat(QLocale::LongFormat);
        QString withoutWeekday = format;
        static const QRegularExpression weekday(QStringLiteral("dddd[,،]?\\s*|\\s*[,،]?\\s*dddd"));
        withoutWeekday.remove(weekday);
        for (const QString& written : { format, withoutWeekday.trimmed() }) {
            if (known.locale.toString(candidate.date, written).toCaseFolded() == folded) {
                orders.push_back(known.shortOrder);
                break;
            }
        }
    }
    return orders;
}

DateReader::Reading DateReader::decide(
    const std::vector<Candidate>& candidates, const ListFacts& list, const QString* text) const
{
    const QLocale::Language machine = machineLanguage();
    const auto rank = [&](const Candidate& c) {
        return std::tuple(
            c.confirmed, list.language != QLocale::AnyLanguage && c.language == list.language, c.language == machine);
    };
    const Candidate* chosen = nullptr;
    for (const Candidate& candidate : candidates) {
        if (!chosen || rank(candidate) > rank(*chosen))
            chosen = &candidate;
    }
    if (!chosen)
        return {};
    // Two days and nothing to choose between them: the text is read only
    // when just one of the languages writes exactly this text.
    const bool tie = std::any_of(candidates.begin(), candidates.end(),
        [&](const Candidate& c) { return rank(c) == rank(*chosen) && c.date != chosen->date; });
    if (tie) {
        const Candidate* exact = nullptr;
        for (const Candidate& candidate : candidates) {
            if (rank(candidate) != rank(*chosen) || !text || ordersWriting(*text, candidate).empty())
                continue;
            if (exact && exact->date != candidate.date)
                return {};
            exact = &candidate;
        }
        if (!exact)
            return {};
        chosen = exact;
    }
    return { chosen->date, chosen->language, chosen->recognised, chosen->confirmed };
}

} // namespace deptest
