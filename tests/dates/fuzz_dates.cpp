// libFuzzer target for the date reader: the input is the date texts of one
// list, a line each, read in sequence on a machine whose language the first
// byte chooses (C and unknown names among them). No text may crash or read
// out of bounds, and a text that is not read comes back as it was.

#include "dates/LongDateFormat.h"

#include <QLocale>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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
    for (const std::string& text : texts) {
        const std::string rendered = format.render(text);
        if (rendered.empty() && !text.empty())
            std::abort(); // a text is either a day or itself
    }
    return 0;
}
