#pragma once

#include <QString>

#include <vector>

namespace deptest {

// The splitting of a date text into words and numbers: the pieces every
// other part of the date reader works on. A word is a run of letters with
// their marks; a number a run of digits of any script. A time of day
// ("10:15", "10:15:00") is no part of a day and is set aside.

// One character of a text, which may take two UTF-16 units.
struct CodePoint {
    char32_t value;
    qsizetype length;
};
inline CodePoint codePointAt(const QString& text, qsizetype at)
{
    const QChar c = text.at(at);
    if (c.isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
        return { QChar::surrogateToUcs4(c, text.at(at + 1)), 2 };
    return { c.unicode(), 1 };
}

// A run of letters (with their marks) in a text: [start, end).
struct Word {
    qsizetype start { 0 };
    qsizetype end { 0 };
    bool afterNumber { false }; // a number stands between this word and the one before
};

struct Number {
    int value { 0 };
    int digits { 0 };
    qsizetype position { 0 };
    qsizetype end { 0 };
};

struct SplitText {
    std::vector<Word> words;
    std::vector<Number> numbers;
    // The one mark between the numbers of a numeric date ('/', '.', '-'),
    // or 0 when they are set apart otherwise or by different marks.
    QChar separator;
    bool timeOfDay { false };
};

SplitText split(const QString& text);

// The text case-folded as QString::toCaseFolded() does it; plain ASCII,
// what most lists hold, without a look into the Unicode tables.
QString caseFolded(const QString& text);

// The key a name is found by: its words, case-folded, one space apart
// ("d’abril" is "d abril", "févr." is "févr").
QString keyOf(const QString& name);

// The longest word of a key of several words.
QString longestWordOf(const QString& key);

} // namespace deptest
