#include "dates/DateList.h"

#include "dates/DateWords.h"
#include "dates/Languages.h"
#include "text/CodePageText.h"

#include <algorithm>

namespace deptest {

namespace {

QString fromUtf8(std::string_view bytes)
{
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

template <typename Key> std::optional<Key> soleMost(const std::unordered_map<Key, int>& votes)
{
    std::optional<Key> most;
    int count = 0;
    bool tie = false;
    for (const auto& [key, votesFor] : votes) {
        if (votesFor > count) {
            most = key;
            count = votesFor;
            tie = false;
        } else if (votesFor == count) {
            tie = true;
        }
    }
    return tie ? std::nullopt : most;
}

int orderKey(const Order& order) { return static_cast<int>(order[0]) * 3 + static_cast<int>(order[1]); }

Order orderOfKey(int key)
{
    for (const Order& order : { dayMonthYear, monthDayYear, yearMonthDay }) {
        if (orderKey(order) == key)
            return order;
    }
    return dayMonthYear;
}

} // namespace

DateList::DateList(const QLocale& machine)
    : m_reader(machine)
    , m_machineCodePage(defaultCodePage(machine.language()))
    , m_codePage(m_machineCodePage)
{
}

void DateList::study(std::span<const std::string> texts)
{
    m_facts = {};
    m_votes = {};
    m_studied = false;
    m_studiedTexts.clear();
    m_doubted.reset();
    // Texts of a name and two numbers: how many each language reads, and
    // how many none does.
    std::unordered_map<int, int> namedBy;
    int namedByNone = 0;
    for (const std::string& bytes : texts) {
        const auto [studied, fresh] = m_studiedTexts.try_emplace(bytes);
        if (!fresh)
            continue;
        if (isUtf8(bytes)) {
            const QString text = fromUtf8(bytes);
            bool byList = false;
            std::vector<DateReader::Candidate> candidates = m_reader.candidates(text, {}, &byList);
            const SplitText pieces = split(caseFolded(text));
            if (pieces.numbers.size() == 2 && !pieces.words.empty()) {
                LanguageSet readers;
                for (const DateReader::Candidate& candidate : candidates)
                    readers.set(static_cast<std::size_t>(candidate.language));
                namedByNone += readers.none() ? 1 : 0;
                for (std::size_t language = 0; language < readers.size(); ++language) {
                    if (readers.test(language))
                        ++namedBy[static_cast<int>(language)];
                }
            }
            learnFrom(text, candidates);
            studied->second.readings = !byList;
            if (!byList)
                studied->second.candidates = std::move(candidates);
        } else {
            (void)readLegacy(bytes, true);
        }
    }
    for (const auto& [language, count] : namedBy) {
        if (count > 0 && count < namedByNone)
            m_doubted.set(static_cast<std::size_t>(language));
    }
    settle();
    m_studied = true;
}

std::vector<DateReader::Candidate> DateList::trusted(std::vector<DateReader::Candidate> candidates) const
{
    if (m_doubted.none())
        return candidates;
    std::erase_if(candidates, [this](const DateReader::Candidate& candidate) {
        return !candidate.confirmed && candidate.language != QLocale::AnyLanguage
            && m_doubted.test(static_cast<std::size_t>(candidate.language));
    });
    return candidates;
}

std::optional<QDate> DateList::studiedDay(std::string_view bytes)
{
    const auto found = m_studiedTexts.find(bytes);
    if (found == m_studiedTexts.end() || !found->second.readings)
        return std::nullopt;
    Studied& studied = found->second;
    if (!studied.decided && !studied.candidates.empty()) {
        const QString text = fromUtf8(bytes);
        studied.day = m_reader.decide(trusted(std::move(studied.candidates)), m_facts, &text).date;
        studied.candidates = {};
    }
    studied.decided = true;
    return studied.day;
}

QDate DateList::read(std::string_view bytes)
{
    if (const std::optional<QDate> studied = studiedDay(bytes))
        return *studied;
    if (!isUtf8(bytes))
        return readLegacy(bytes, !m_studied).date;
    const QString text = fromUtf8(bytes);
    std::vector<DateReader::Candidate> candidates = m_reader.candidates(text, m_facts);
    if (!m_studied) {
        learnFrom(text, candidates);
        settle();
        candidates = m_reader.candidates(text, m_facts);
    }
    return m_reader.decide(trusted(std::move(candidates)), m_facts, &text).date;
}

// Bytes from a Windows machine: read in the list's code page; else in the
// others, when all of those that read them give the same day.
DateReader::Reading DateList::readLegacy(std::string_view bytes, bool learning)
{
    if (const std::optional<QString> text = decodeCodePage(bytes, m_codePage, m_converters)) {
        const DateReader::Reading reading = m_reader.examine(*text, m_facts);
        if (reading.date.isValid() && !learning)
            return reading;
    }
    DateReader::Reading chosen;
    int chosenPage = 0;
    for (const int codePage : legacyCodePages()) {
        const std::optional<QString> text = decodeCodePage(bytes, codePage, m_converters);
        const DateReader::Reading reading = text ? m_reader.examine(*text, m_facts) : DateReader::Reading {};
        if (!reading.date.isValid())
            continue;
        if (chosen.date.isValid() && chosen.date != reading.date)
            return {};
        if (!chosen.date.isValid() || reading.recognised > chosen.recognised) {
            chosen = reading;
            chosenPage = codePage;
        }
    }
    if (learning && chosen.date.isValid()) {
        ++m_votes.codePages[chosenPage];
        if (chosen.language != QLocale::AnyLanguage)
            ++m_votes.languages[static_cast<int>(chosen.language)];
        if (!m_studied)
            settle();
    }
    return chosen;
}

// A vote for each language that reads the text, and for the order its
// slashes prove.
void DateList::learnFrom(const QString& text, const std::vector<DateReader::Candidate>& candidates)
{
    // A weekday name that agrees speaks for its language alone.
    const bool confirmed = std::any_of(candidates.begin(), candidates.end(),
        [](const DateReader::Candidate& candidate) { return candidate.confirmed; });
    std::vector<QLocale::Language> languages;
    for (const DateReader::Candidate& candidate : candidates) {
        if (candidate.language != QLocale::AnyLanguage && candidate.confirmed == confirmed
            && std::find(languages.begin(), languages.end(), candidate.language) == languages.end())
            languages.push_back(candidate.language);
    }
    for (const QLocale::Language language : languages)
        ++m_votes.languages[static_cast<int>(language)];
    // The territory shows only in whole texts: a few of them are enough.
    constexpr int enoughWriters = 16;
    for (const DateReader::Candidate& candidate : candidates) {
        if (candidate.language == QLocale::AnyLanguage || m_votes.writers >= enoughWriters)
            continue;
        ++m_votes.writers;
        for (const Order& order : m_reader.ordersWriting(text, candidate))
            ++m_votes.orders[orderKey(order)];
    }
    if (!text.contains(QLatin1Char('/')))
        return;
    const SplitText pieces = split(text);
    // Only a four-digit year at the end leaves day and month in front.
    if (pieces.numbers.size() == 3 && pieces.separator == QLatin1Char('/') && pieces.numbers[2].digits == 4) {
        if (pieces.numbers[0].value > 12)
            ++m_votes.dayFirst;
        else if (pieces.numbers[1].value > 12)
            ++m_votes.monthFirst;
    }
}

// Where the list's texts read equally well in several languages, the
// order of short dates they all share.
std::optional<Order> DateList::orderOfLeaders() const
{
    int most = 0;
    for (const auto& [language, count] : m_votes.languages)
        most = std::max(most, count);
    std::optional<Order> shared;
    for (const auto& [language, count] : m_votes.languages) {
        if (count != most)
            continue;
        const Order order = m_reader.shortOrderOf(static_cast<QLocale::Language>(language));
        if (shared && *shared != order)
            return std::nullopt;
        shared = order;
    }
    return shared;
}

// The list's facts from its votes: the language most of its texts read in,
// the order its slashed dates prove (when they prove one), the code page
// most of its other bytes read in, else its language's, else this
// machine's.
void DateList::settle()
{
    const std::optional<int> language = soleMost(m_votes.languages);
    m_facts.language = language ? static_cast<QLocale::Language>(*language) : QLocale::AnyLanguage;
    m_facts.slashOrder.reset();
    if (m_votes.dayFirst > 0 && m_votes.monthFirst == 0)
        m_facts.slashOrder = dayMonthYear;
    else if (m_votes.monthFirst > 0 && m_votes.dayFirst == 0)
        m_facts.slashOrder = monthDayYear;
    else if (const std::optional<int> order = soleMost(m_votes.orders))
        m_facts.slashOrder = orderOfKey(*order);
    else if (!language)
        m_facts.slashOrder = orderOfLeaders();
    if (const std::optional<int> page = soleMost(m_votes.codePages))
        m_codePage = *page;
    else if (language)
        m_codePage = defaultCodePage(m_facts.language);
    else
        m_codePage = m_machineCodePage;
}

} // namespace deptest
