#pragma once

#include "system/CodePages.h"

#include <QString>

#include <optional>
#include <span>
#include <string_view>

namespace deptest {

// The bytes of a list as text: UTF-8, or else the code page of the
// language the list was written in on a Windows machine (1252 Western,
// 1250 Central European, 1251 Cyrillic, ..., 932 Japanese, 936 and 950
// Chinese, 949 Korean). Decoded by the system's own converters
// (system/CodePages.h); which code page a language writes in is the date
// reader's to know (dates/Languages.h, defaultCodePage()).

// The code pages tried, in the order they are tried.
std::span<const int> legacyCodePages();

// The bytes as text in a code page; nothing when a byte has no character
// there (or the C library does not know the code page).
std::optional<QString> decodeCodePage(std::string_view bytes, int codePage);
// The same with converters held by the caller, for many texts.
std::optional<QString> decodeCodePage(std::string_view bytes, int codePage, CodePages& converters);

bool isUtf8(std::string_view bytes);

// Bytes from a list as the user sees them: UTF-8 where they are valid
// UTF-8, otherwise in the list's code page.
QString toDisplayText(std::string_view bytes, int codePage);
// The same, at most `longest` characters followed by an ellipsis when
// there is more; never cut inside a character.
QString toDisplayText(std::string_view bytes, int codePage, qsizetype longest);

} // namespace deptest
