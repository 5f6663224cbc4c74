#pragma once

#include <QDate>
#include <QLocale>
#include <QString>

#include <vector>

namespace deptest {

class DateCatalogue;

// Reads the date texts of one reference list, whatever language the
// machine that wrote them spoke: the long and short dates of every locale
// Qt knows and Windows' own long formats, month names in every form a
// locale writes them, native digits, with or without the weekday, in any
// letter case. Words that are no month or weekday name ("den", "de", "г.")
// do not stop the reading.
//
// A month name that two languages give to different months is settled by
// the weekday name in the text, where there is one; otherwise by the
// language this list's earlier dates were read in; otherwise by this
// machine's language. Two-digit years are read as Windows reads them:
// 00-29 are 2000-2029, 30-99 are 1930-1999.
class DateReader {
public:
    explicit DateReader(const QLocale& machine);

    // How a text reads: its day (invalid when no language reads it as a
    // date), how many of its characters were recognised as names and
    // whether a weekday name confirmed the day.
    struct Reading {
        QDate date;
        int recognised { 0 };
        bool confirmed { false };
        int locale { -1 };
    };

    // Reads a text without taking its language for the list's.
    [[nodiscard]] Reading examine(const QString& text) const;
    // Takes the reading's language as the list's from now on.
    void adopt(const Reading& reading);
    // examine() and adopt() in one.
    QDate read(const QString& text);

private:
    const DateCatalogue& m_catalogue;
    int m_machineLocale;
    int m_listLocale { -1 };
};

} // namespace deptest
