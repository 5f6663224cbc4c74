#include "platform/LongDateFormat.h"

#include <utility>

namespace deptest {

namespace {

constexpr std::size_t cacheLimit = 4096;

} // namespace

LongDateFormat::LongDateFormat(const QLocale& locale)
    : m_locale(locale)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QLocale c = QLocale::c();
    m_readers = {
        { m_locale, m_locale.dateFormat(QLocale::LongFormat) },
        { m_locale, m_locale.dateFormat(QLocale::ShortFormat) },
        { c, QStringLiteral("dddd, d MMMM yyyy") },
        { english, english.dateFormat(QLocale::LongFormat) },
        { english, english.dateFormat(QLocale::ShortFormat) },
        { english, QStringLiteral("dddd, MMMM d, yyyy") },
        { english, QStringLiteral("dddd, d MMMM yyyy") },
        { english, QStringLiteral("MMMM d, yyyy") },
        { english, QStringLiteral("d MMMM yyyy") },
        { english, QStringLiteral("MMM d, yyyy") },
        { english, QStringLiteral("d MMM yyyy") },
        { c, QStringLiteral("yyyy-MM-dd") },
    };
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
    const QDate date = readDate(QString::fromUtf8(dateText.data(), static_cast<qsizetype>(dateText.size())).trimmed());
    std::string rendered = date.isValid() ? renderDay(date) : key;
    if (m_byText.size() >= cacheLimit)
        m_byText.clear();
    return m_byText.emplace(key, std::move(rendered)).first->second;
}

QDate LongDateFormat::readDate(const QString& text) const
{
    if (text.isEmpty())
        return {};
    for (const Reader& reader : m_readers) {
        const QDate date = reader.locale.toDate(text, reader.format);
        if (date.isValid())
            return date;
    }
    return {};
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
