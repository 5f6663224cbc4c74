#include "dates/DateWords.h"

#include <QStringList>

namespace deptest {

namespace {

inline bool isWordCharacter(char32_t c)
{
    if (c < 0x80) // plain ASCII, the most common, holds no marks
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    return QChar::isLetter(c) || QChar::isMark(c);
}

int digitValue(char32_t c) { return c >= '0' && c <= '9' ? static_cast<int>(c - '0') : QChar::digitValue(c); }

// The digits from `at` on, as a number; `at` moves past them.
Number numberAt(const QString& text, qsizetype& at)
{
    Number number { 0, 0, at, at };
    while (at < text.size()) {
        const CodePoint digit = codePointAt(text, at);
        if (!QChar::isDigit(digit.value))
            break;
        if (number.digits < 9)
            number.value = number.value * 10 + digitValue(digit.value);
        ++number.digits;
        at += digit.length;
    }
    number.end = at;
    return number;
}

// After an hour: ":mm" and ":ss" groups. True, with `at` past them, when
// there was at least one.
bool skipMinutes(const QString& text, qsizetype& at)
{
    bool found = false;
    while (at + 1 < text.size() && text.at(at) == QLatin1Char(':') && text.at(at + 1).isDigit()) {
        ++at;
        (void)numberAt(text, at);
        found = true;
    }
    return found;
}

// The mark between two numbers, when it is one character other than a space.
QChar markBetween(const QString& text, const Number& before, const Number& after)
{
    QChar mark;
    int marks = 0;
    for (qsizetype at = before.end; at < after.position; ++at) {
        const QChar c = text.at(at);
        const bool ignored = c.isSpace() || (c.unicode() >= 0x80 && c.category() == QChar::Other_Format);
        if (!ignored) {
            mark = c;
            ++marks;
        }
    }
    return marks == 1 ? mark : QChar();
}

} // namespace

SplitText split(const QString& text)
{
    SplitText result;
    result.words.reserve(4);
    result.numbers.reserve(4);
    bool numberSeen = false;
    for (qsizetype at = 0; at < text.size();) {
        const CodePoint c = codePointAt(text, at);
        if (QChar::isDigit(c.value)) {
            const Number number = numberAt(text, at);
            if (skipMinutes(text, at))
                result.timeOfDay = true;
            else
                result.numbers.push_back(number);
            numberSeen = true;
            continue;
        }
        if (!isWordCharacter(c.value)) {
            at += c.length;
            continue;
        }
        const qsizetype start = at;
        at += c.length;
        while (at < text.size()) {
            const CodePoint next = codePointAt(text, at);
            if (!isWordCharacter(next.value))
                break;
            at += next.length;
        }
        result.words.push_back({ start, at, numberSeen });
        numberSeen = false;
    }
    if (result.numbers.size() >= 2) {
        result.separator = markBetween(text, result.numbers[0], result.numbers[1]);
        for (std::size_t next = 2; next < result.numbers.size(); ++next) {
            if (markBetween(text, result.numbers[next - 1], result.numbers[next]) != result.separator)
                result.separator = QChar();
        }
    }
    return result;
}

QString caseFolded(const QString& text)
{
    QString folded(text.size(), Qt::Uninitialized);
    QChar* out = folded.data();
    for (const QChar c : text) {
        if (c.unicode() >= 0x80)
            return text.toCaseFolded();
        *out++ = c >= QLatin1Char('A') && c <= QLatin1Char('Z') ? QChar(c.unicode() + ('a' - 'A')) : c;
    }
    return folded;
}

QString keyOf(const QString& name)
{
    const QString folded = name.toCaseFolded();
    QString key;
    for (const Word& word : split(folded).words) {
        if (!key.isEmpty())
            key += QLatin1Char(' ');
        key += QStringView(folded).sliced(word.start, word.end - word.start);
    }
    return key;
}

QString longestWordOf(const QString& key)
{
    QString longest;
    for (const QString& word : key.split(QLatin1Char(' ')))
        if (word.size() > longest.size())
            longest = word;
    return longest;
}

} // namespace deptest
