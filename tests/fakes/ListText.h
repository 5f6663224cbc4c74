#pragma once

#include "services/FileMeasurement.h"

#include <QDateTime>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace deptest::test {

// One line of a reference list, dated Monday, December 7, 2026 as the host
// writes it unless another date text is given.
inline std::string entry(
    std::string_view name, std::string_view size, std::string_view date = "Monday, December 7, 2026")
{
    return "\"" + std::string(name) + "\",\"" + std::string(size) + "\",\"" + std::string(date) + "\"\r\n";
}

// Lines the commands wrote, to compare as a list.
inline QStringList lines(const std::vector<std::string>& items)
{
    QStringList list;
    for (const std::string& item : items)
        list << QString::fromStdString(item);
    return list;
}

// A local time as the host measures it.
inline FileTime at(const QDateTime& time)
{
    return { time.date().year(), time.date().month(), time.date().day(), time.time().hour(), time.time().minute(),
        time.time().second() };
}

} // namespace deptest::test
