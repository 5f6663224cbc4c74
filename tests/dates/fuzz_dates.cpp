// libFuzzer target for the date reader: the input is the date texts of one
// list, a line each, read in sequence on a machine whose language the first
// byte chooses (C and unknown names among them). No text may crash or read
// out of bounds, and the reader keeps its word: a text comes back either as
// it was or as one day in the machine's long format; the list, studied as a
// whole, reads each text the same the second time; and a day it writes, for
// a text or for a file, reads back as that day, in the same list and in a
// new one.

#include "dates/LongDateFormat.h"

#include <QDate>
#include <QLocale>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The day a text in the machine's long format names; invalid for any other
// text.
QDate dayWritten(const QLocale& machine, const std::string& text)
{
    const QString written = QString::fromStdString(text);
    const QDate day = machine.toDate(written, QLocale::LongFormat);
    return machine.toString(day, QLocale::LongFormat) == written ? day : QDate();
}

// The day written is the machine's long date of `day`, and reads back as
// that day: in this list as itself, on a machine of another language as
// that machine writes the day (a day before 2400: later Thai years are of
// the Buddhist era).
void checkReadBack(const QLocale& machine, deptest::LongDateFormat& list, const std::string& written, QDate day)
{
    if (dayWritten(machine, written) != day || list.render(written) != written)
        std::abort();
    const QLocale other(machine.language() == QLocale::German ? QLocale::English : QLocale::German);
    deptest::LongDateFormat elsewhere(other);
    if (day.year() < 2400 && elsewhere.render(written) != other.toString(day, QLocale::LongFormat).toStdString())
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::array<QLocale, 9> machines { QLocale::c(), QLocale(QStringLiteral("xx_YY")),
        QLocale(QStringLiteral("en_US")), QLocale(QStringLiteral("de_DE")), QLocale(QStringLiteral("hr_HR")),
        QLocale(QStringLiteral("ja_JP")), QLocale(QStringLiteral("th_TH")), QLocale(QStringLiteral("fa_IR")),
        QLocale(QStringLiteral("ar_SA")) };
    if (size == 0)
        return 0;
    const QLocale& machine = machines[data[0] % machines.size()];
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::vector<std::string> texts;
    for (std::size_t start = 0; start <= input.size();) {
        const std::size_t end = std::min(input.find('\n', start), input.size());
        texts.emplace_back(input.substr(start, end - start));
        start = end + 1;
    }
    deptest::LongDateFormat format(machine);
    format.study(texts);
    std::vector<std::string> rendered;
    for (const std::string& text : texts) {
        rendered.push_back(format.render(text));
        if (rendered.back() != text && !dayWritten(machine, rendered.back()).isValid())
            std::abort(); // a text is either a day or itself
    }
    for (std::size_t index = 0; index < texts.size(); ++index) {
        if (format.render(texts[index]) != rendered[index])
            std::abort();
    }
    for (std::size_t index = 0; index < texts.size(); ++index) {
        if (rendered[index] != texts[index])
            checkReadBack(machine, format, rendered[index], dayWritten(machine, rendered[index]));
    }
    // A file's day, between 1900 and 2299, chosen by the whole input.
    const QDate day = QDate(1900, 1, 1).addDays(static_cast<qint64>(std::hash<std::string_view> {}(input) % 146097));
    std::string written;
    if (format.render(deptest::FileTime { day.year(), day.month(), day.day(), 12, 0, 0 }, written))
        std::abort(); // every day of those years is a real one
    checkReadBack(machine, format, written, day);
    return 0;
}
