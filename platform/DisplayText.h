#pragma once

#include <QString>

#include <string_view>

namespace deptest {

// The program's texts are bytes from list files: UTF-8 where they are
// valid UTF-8, otherwise read as Latin-1 so no byte is lost on screen.
inline QString toDisplayText(std::string_view bytes)
{
    const auto size = static_cast<qsizetype>(bytes.size());
    QString text = QString::fromUtf8(bytes.data(), size);
    if (text.contains(QChar::ReplacementCharacter) && !bytes.empty())
        text = QString::fromLatin1(bytes.data(), size);
    return text;
}

} // namespace deptest
