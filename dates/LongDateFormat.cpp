#include "dates/LongDateFormat.h"

#include <utility>

namespace deptest {

namespace {

constexpr std::size_t cacheLimit = 4096;

} // namespace

LongDateFormat::LongDateFormat(const QLocale& locale)
    : m_locale(locale)
    , m_list(locale)
{
}

Result<std::string> LongDateFormat::render(const FileTime& time)
{
    const QDate date(time.year, time.month, time.day);
    if (!date.isValid())
        return Error::of(error::invalidArgument);
    return renderDay(date);
}

std::string LongDateFormat::render(std::string_view dateText)
{
    const std::string key(dateText);
    if (const auto found = m_byText.find(key); found != m_byText.end())
        return found->second;
    const QDate date = m_list.read(dateText);
    std::string rendered = date.isValid() ? renderDay(date) : key;
    if (m_byText.size() >= cacheLimit)
        m_byText.clear();
    return m_byText.emplace(key, std::move(rendered)).first->second;
}

void LongDateFormat::study(std::span<const std::string> dateTexts)
{
    m_byText.clear();
    m_list.study(dateTexts);
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
