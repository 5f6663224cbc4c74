#include "dates/Languages.h"

#include <algorithm>

namespace deptest {

namespace {

std::vector<LanguageFacts> makeTable()
{
    using L = QLocale;
    using C = QCalendar::System;
    std::vector<LanguageFacts> table;
    const auto codePage = [&table](int page, std::initializer_list<QLocale::Language> languages) {
        for (const QLocale::Language language : languages)
            table.push_back({ language, page, {}, {}, 0, 0 });
    };
    codePage(1250,
        { L::Polish, L::Czech, L::Slovak, L::Hungarian, L::Slovenian, L::Croatian, L::Bosnian, L::Romanian,
            L::Albanian });
    codePage(1251,
        { L::Russian, L::Ukrainian, L::Belarusian, L::Bulgarian, L::Macedonian, L::Serbian, L::Kazakh, L::Kyrgyz,
            L::Tatar, L::Mongolian });
    codePage(1253, { L::Greek });
    codePage(1254, { L::Turkish, L::Azerbaijani });
    codePage(1255, { L::Hebrew });
    codePage(1257, { L::Estonian, L::Latvian, L::Lithuanian });
    codePage(1258, { L::Vietnamese });
    codePage(932, { L::Japanese });
    codePage(936, { L::Chinese });
    codePage(949, { L::Korean });
    table.push_back({ L::Arabic, 1256, { C::IslamicCivil }, {}, 0, 0 });
    table.push_back({ L::Persian, 1256, { C::Jalali, C::IslamicCivil }, {}, 0, 0 });
    table.push_back({ L::Urdu, 1256, { C::IslamicCivil }, {}, 0, 0 });
    table.push_back({ L::Pashto, 1252, { C::IslamicCivil }, {}, 0, 0 });
    // Windows' long dates hold a few words Qt's do not.
    table.push_back({ L::Swedish, 1252, {}, { QStringLiteral("den") }, 0, 0 });
    // Thai years of the Buddhist era, 543 years ahead, are marked "พ.ศ.",
    // of the common era "ค.ศ.".
    table.push_back({ L::Thai, 874, {}, { QStringLiteral("พ"), QStringLiteral("ค"), QStringLiteral("ศ") }, 543, 2400 });
    for (const QLocale::Language language : { L::Indonesian, L::Malay })
        table.push_back({ language, 1252, {}, {}, 0, 0, true });
    return table;
}

} // namespace

const LanguageFacts& factsOf(QLocale::Language language)
{
    static const std::vector<LanguageFacts> table = makeTable();
    static const LanguageFacts others;
    const auto found = std::find_if(
        table.begin(), table.end(), [language](const LanguageFacts& facts) { return facts.language == language; });
    return found != table.end() ? *found : others;
}

int defaultCodePage(QLocale::Language language) { return factsOf(language).codePage; }

} // namespace deptest
