#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace deptest {

// Text in a Windows code page (1252 Western, 1250 Central European, 1251
// Cyrillic, ..., 932 Japanese, 936 and 950 Chinese, 949 Korean) as UTF-8,
// through the system's own converters: the C library's iconv, or Windows
// itself. The converters an object opens stay open for its life, ready
// for the next text of the same code page; an object is used by one thread
// at a time.
class CodePages {
public:
    CodePages();
    ~CodePages();
    CodePages(const CodePages&) = delete;
    CodePages& operator=(const CodePages&) = delete;

    // The bytes as UTF-8; nothing when a byte has no character in the code
    // page (or the system does not know the code page).
    std::optional<std::string> toUtf8(std::string_view bytes, int codePage);

private:
    struct Converters;
    std::unique_ptr<Converters> m_converters;
};

} // namespace deptest
