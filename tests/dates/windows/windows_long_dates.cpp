// Writes Windows' own long dates, the texts reference lists made on Windows
// hold: for every locale the system enumerates (alternate sort orders such
// as "de-DE_phoneb" included), the long date of one day in each month of
// 2020, in UTF-8 and in the locale's ANSI code page. The date reader's test
// reads them back on Linux. Lines are tab-separated; bytes outside printable
// ASCII, and '%', are written as %XX so that code-page bytes arrive as
// Windows wrote them.
//
//   locale <name> <default calendar id> <ANSI code page, 0 when none> <the 12 month names>
//   date <name> <yyyy-mm-dd> <UTF-8 text> <ok|lossy|none> <code-page text>
//
// "lossy" marks a text the code page cannot hold: converting it would
// replace characters, so it carries no code-page text. An optional
// argument fixes the day of the month (otherwise the 13th to the 24th, so
// that no day number equals its month's).

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string escaped(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7e || byte == '%') {
            std::array<char, 4> hex {};
            std::snprintf(hex.data(), hex.size(), "%%%02X", byte);
            text += hex.data();
        } else {
            text += c;
        }
    }
    return text;
}

// The text in a code page; false when the code page cannot hold every
// character of it (no substitute, no best fit).
bool narrow(const std::wstring& text, UINT codePage, std::string& bytes)
{
    const int length = static_cast<int>(text.size());
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* const defaultUse = codePage == CP_UTF8 ? nullptr : &usedDefault;
    const int size = ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, defaultUse);
    bytes.assign(static_cast<std::size_t>(std::max(size, 0)), '\0');
    if (size <= 0
        || ::WideCharToMultiByte(codePage, flags, text.data(), length, bytes.data(), size, nullptr, defaultUse) != size
        || usedDefault)
        return false;
    // Back again, to catch a character the code page changed without saying.
    std::wstring back(text.size() + 1, L'\0');
    const int backLength
        = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, back.data(), static_cast<int>(back.size()));
    back.resize(static_cast<std::size_t>(std::max(backLength, 0)));
    return back == text;
}

std::string utf8(const std::wstring& text)
{
    std::string bytes;
    narrow(text, CP_UTF8, bytes);
    return bytes;
}

DWORD localeNumber(const std::wstring& locale, LCTYPE type)
{
    DWORD value = 0;
    ::GetLocaleInfoEx(
        locale.c_str(), type | LOCALE_RETURN_NUMBER, reinterpret_cast<LPWSTR>(&value), sizeof value / sizeof(wchar_t));
    return value;
}

std::wstring localeText(const std::wstring& locale, LCTYPE type)
{
    std::array<wchar_t, 256> text {};
    const int length = ::GetLocaleInfoEx(locale.c_str(), type, text.data(), static_cast<int>(text.size()));
    return length > 0 ? std::wstring(text.data(), static_cast<std::size_t>(length - 1)) : std::wstring();
}

std::wstring longDate(const std::wstring& locale, WORD month, WORD day)
{
    // Through a file time, so that the weekday is filled in.
    SYSTEMTIME time { 2020, month, 0, day, 12, 0, 0, 0 };
    FILETIME file {};
    ::SystemTimeToFileTime(&time, &file);
    ::FileTimeToSystemTime(&file, &time);
    std::array<wchar_t, 256> text {};
    const int length = ::GetDateFormatEx(
        locale.c_str(), DATE_LONGDATE, &time, nullptr, text.data(), static_cast<int>(text.size()), nullptr);
    return length > 0 ? std::wstring(text.data(), static_cast<std::size_t>(length - 1)) : std::wstring();
}

BOOL CALLBACK collect(LPWSTR name, DWORD, LPARAM names)
{
    if (*name != L'\0')
        reinterpret_cast<std::vector<std::wstring>*>(names)->emplace_back(name);
    return TRUE;
}

constexpr std::array<LCTYPE, 12> monthNames { LOCALE_SMONTHNAME1, LOCALE_SMONTHNAME2, LOCALE_SMONTHNAME3,
    LOCALE_SMONTHNAME4, LOCALE_SMONTHNAME5, LOCALE_SMONTHNAME6, LOCALE_SMONTHNAME7, LOCALE_SMONTHNAME8,
    LOCALE_SMONTHNAME9, LOCALE_SMONTHNAME10, LOCALE_SMONTHNAME11, LOCALE_SMONTHNAME12 };

// Both lines of one locale; false when Windows gave no long date.
bool writeLocale(const std::wstring& locale, int fixedDay)
{
    const std::string name = utf8(locale);
    const UINT codePage = localeNumber(locale, LOCALE_IDEFAULTANSICODEPAGE);
    std::string line = "locale\t" + name + '\t' + std::to_string(localeNumber(locale, LOCALE_ICALENDARTYPE)) + '\t'
        + std::to_string(codePage);
    for (const LCTYPE month : monthNames)
        line += '\t' + escaped(utf8(localeText(locale, month)));
    std::printf("%s\n", line.c_str());
    for (WORD month = 1; month <= 12; ++month) {
        const WORD day = fixedDay > 0 ? static_cast<WORD>(fixedDay) : static_cast<WORD>(12 + month);
        const std::wstring text = longDate(locale, month, day);
        if (text.empty())
            return false;
        std::string bytes;
        const char* status = "none";
        if (codePage != CP_ACP && codePage != CP_UTF8) {
            status = "ok";
            if (!narrow(text, codePage, bytes)) {
                status = "lossy";
                bytes.clear();
            }
        }
        std::printf("date\t%s\t2020-%02d-%02d\t%s\t%s\t%s\n", name.c_str(), month, day, escaped(utf8(text)).c_str(),
            status, escaped(bytes).c_str());
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const int fixedDay = argc > 1 ? std::atoi(argv[1]) : 0;
    if (fixedDay < 0 || fixedDay > 29) {
        std::fprintf(stderr, "usage: windows_long_dates [day of the month, 1-29]\n");
        return 2;
    }
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::wstring> locales;
    if (!::EnumSystemLocalesEx(collect, LOCALE_ALL, reinterpret_cast<LPARAM>(&locales), nullptr)) {
        std::fprintf(stderr, "EnumSystemLocalesEx failed: %lu\n", ::GetLastError());
        return 1;
    }
    std::sort(locales.begin(), locales.end());
    int failed = 0;
    for (const std::wstring& locale : locales) {
        if (!writeLocale(locale, fixedDay)) {
            std::fprintf(stderr, "no long date for %s\n", utf8(locale).c_str());
            ++failed;
        }
    }
    std::fflush(stdout);
    return failed == 0 && !std::ferror(stdout) ? 0 : 1;
}
