#include "dates/LongDateFormat.h"

#include "dates/Languages.h"
#include "dates/Timestamp.h"
#include "text/CodePageText.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace deptest {

namespace {

constexpr std::size_t cacheLimit = 4096;

// The day of a timestamp in ISO 8601 or RFC 2822, read without the date
// reader: a list of them holds as many distinct texts as files. None for
// other texts; an invalid day for one of those shapes that names no real
// time.
std::optional<QDate> timestampDay(std::string_view text)
{
    IsoReading reading = readIsoTimestamp(text);
    if (reading.shape == IsoReading::Shape::Other)
        reading = readRfcTimestamp(text);
    if (reading.shape == IsoReading::Shape::Other)
        return std::nullopt;
    const std::optional<FileTime> here
        = reading.shape == IsoReading::Shape::Read ? timeHere(reading.timestamp) : std::nullopt;
    return here ? QDate(here->year, here->month, here->day) : QDate();
}

} // namespace

LongDateFormat::LongDateFormat(const QLocale& locale)
    : m_locale(locale)
    , m_format(locale.dateFormat(QLocale::LongFormat))
{
}

int LongDateFormat::codePage() const
{
    // A list of this locale's own dates shows no other code page.
    return m_list ? m_list->codePage() : defaultCodePage(m_locale.language());
}

std::optional<QDate> LongDateFormat::ownDay(std::string_view dateText) const
{
    // A two-digit year would be read in the 1900s here, but as Windows
    // reads it by the date reader.
    if (!m_format.contains(QLatin1String("yyyy")) || !isUtf8(dateText))
        return std::nullopt;
    const QString text = QString::fromUtf8(dateText.data(), static_cast<qsizetype>(dateText.size()));
    const QDate date = m_locale.toDate(text, m_format);
    if (!date.isValid() || m_locale.toString(date, m_format) != text)
        return std::nullopt;
    return date;
}

DateList& LongDateFormat::list()
{
    if (!m_list) {
        m_list.emplace(m_locale);
        if (m_unstudied)
            m_list->study(*m_unstudied);
        for (const std::string& text : m_unlearned)
            (void)m_list->read(text);
        m_unstudied.reset();
        m_unlearned.clear();
        m_ownDays.clear();
    }
    return *m_list;
}

Outcome LongDateFormat::render(const FileTime& time, std::string& text)
{
    if (m_lastDay && m_lastDay->year == time.year && m_lastDay->month == time.month && m_lastDay->day == time.day) {
        text = m_lastDay->text;
        return {};
    }
    const QDate date(time.year, time.month, time.day);
    if (!date.isValid())
        return Error::of(error::invalidArgument);
    text = renderDay(date);
    m_lastDay = RenderedDay { time.year, time.month, time.day, text };
    return {};
}

std::string LongDateFormat::render(std::string_view dateText)
{
    if (const std::optional<QDate> day = timestampDay(dateText))
        return day->isValid() ? renderDay(*day) : std::string(dateText);
    // The list keeps the days of the texts it has studied.
    if (const std::optional<QDate> studied = m_list ? m_list->studiedDay(dateText) : std::nullopt)
        return studied->isValid() ? renderDay(*studied) : std::string(dateText);
    if (const auto found = m_byText.find(dateText); found != m_byText.end())
        return found->second;
    std::string key(dateText);
    QDate date;
    std::optional<QDate> own;
    if (!m_list) {
        const auto studied = m_ownDays.find(dateText);
        own = studied != m_ownDays.end() ? std::optional(studied->second) : ownDay(dateText);
    }
    if (own) {
        date = *own;
        if (!m_unstudied && m_unlearned.size() < cacheLimit)
            m_unlearned.push_back(key);
    } else {
        date = list().read(dateText);
    }
    std::string rendered = date.isValid() ? renderDay(date) : key;
    if (m_byText.size() >= cacheLimit)
        m_byText.clear();
    return m_byText.emplace(std::move(key), std::move(rendered)).first->second;
}

void LongDateFormat::study(std::span<const std::string> allDateTexts)
{
    // Timestamps in ISO 8601 say nothing of the list's language and are
    // read apart.
    std::vector<std::string> others;
    std::span<const std::string> dateTexts = allDateTexts;
    if (std::any_of(
            allDateTexts.begin(), allDateTexts.end(), [](const std::string& text) { return timestampDay(text); })) {
        std::copy_if(allDateTexts.begin(), allDateTexts.end(), std::back_inserter(others),
            [](const std::string& text) { return !timestampDay(text); });
        dateTexts = others;
    }
    m_byText.clear();
    m_unlearned.clear();
    if (m_list) {
        m_list->study(dateTexts);
        return;
    }
    m_ownDays.clear();
    std::vector<std::string> distinct;
    for (const std::string& text : dateTexts) {
        if (m_ownDays.contains(text))
            continue;
        const std::optional<QDate> own = ownDay(text);
        if (!own) {
            m_unstudied.reset();
            list().study(dateTexts);
            return;
        }
        m_ownDays.emplace(text, *own);
        distinct.push_back(text);
    }
    m_unstudied = std::move(distinct);
}

const std::string& LongDateFormat::renderDay(QDate date)
{
    const qint64 day = date.toJulianDay();
    if (const auto found = m_byDay.find(day); found != m_byDay.end())
        return found->second;
    if (m_byDay.size() >= cacheLimit)
        m_byDay.clear();
    return m_byDay.emplace(day, m_locale.toString(date, QLocale::LongFormat).toStdString()).first->second;
}

} // namespace deptest
