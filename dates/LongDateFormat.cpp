#include "dates/LongDateFormat.h"

#include "dates/LegacyText.h"

#include <utility>

namespace deptest {

namespace {

constexpr std::size_t cacheLimit = 4096;

} // namespace

LongDateFormat::LongDateFormat(const QLocale& locale)
    : m_locale(locale)
    , m_reader(locale)
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
    const QDate date = readDate(dateText);
    std::string rendered = date.isValid() ? renderDay(date) : key;
    if (m_byText.size() >= cacheLimit)
        m_byText.clear();
    return m_byText.emplace(key, std::move(rendered)).first->second;
}

QDate LongDateFormat::readDate(std::string_view dateText)
{
    if (isUtf8(dateText))
        return m_reader.read(QString::fromUtf8(dateText.data(), static_cast<qsizetype>(dateText.size())));
    // Single-byte text from a Windows machine: the code page in which the
    // most of it reads as month and weekday names; the one in use so far
    // where several read equally well.
    int chosenPage = 0;
    DateReader::Reading chosen;
    const auto consider = [&](int codePage) {
        const std::optional<QString> text = decodeCodePage(dateText, codePage);
        if (!text)
            return;
        const DateReader::Reading reading = m_reader.examine(*text);
        if (reading.date.isValid()
            && (!chosen.date.isValid()
                || std::pair(reading.confirmed, reading.recognised) > std::pair(chosen.confirmed, chosen.recognised))) {
            chosen = reading;
            chosenPage = codePage;
        }
    };
    consider(displayCodePage());
    for (const int codePage : legacyCodePages())
        consider(codePage);
    if (!chosen.date.isValid())
        return {};
    m_reader.adopt(chosen);
    setDisplayCodePage(chosenPage);
    return chosen.date;
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
