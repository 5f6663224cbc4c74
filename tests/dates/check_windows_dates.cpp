// Reads Windows' own long dates, as windows_long_dates wrote them under
// Wine, the way the program reads a reference list made on such a machine,
// here on a machine whose language is American English. Each text is read
// right (the same day), left unread (as written) or read wrong (anything
// else, the worst outcome: a day the other machine never wrote). A list is
// the dates of one locale, in UTF-8 or in its ANSI code page; every list,
// and in a second measure every single text, gets a fresh reader. Exits
// non-zero when more texts are read wrong, over all four counts, than
// --max-wrong allows, or when fewer UTF-8 or code page texts are read right,
// in either measure, than --min-right-utf8 and --min-right-code-page ask:
// a reader that reads nothing reads nothing wrong.

#include "dates/LongDateFormat.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

using namespace deptest;

namespace {

struct WindowsText {
    QDate day;
    QByteArray utf8;
    // Empty when the locale has no ANSI code page or the page cannot hold
    // the text.
    QByteArray codePage;
};

struct WindowsLocale {
    QString name;
    int calendar = 0;
    int codePage = 0;
    QStringList months;
    std::vector<WindowsText> texts;
};

const QLocale& machine()
{
    static const QLocale locale(QLocale::English, QLocale::UnitedStates);
    return locale;
}

QByteArray field(const QList<QByteArray>& fields, qsizetype index)
{
    return QByteArray::fromPercentEncoding(fields.value(index));
}

// The corpus, one entry per locale in the order written; nothing when a
// line is not as windows_long_dates writes it.
std::optional<std::vector<WindowsLocale>> readCorpus(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    std::vector<WindowsLocale> locales;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() == 16 && fields[0] == "locale") {
            WindowsLocale locale { QString::fromUtf8(fields[1]), fields[2].toInt(), fields[3].toInt(), {}, {} };
            for (qsizetype month = 4; month < 16; ++month)
                locale.months << QString::fromUtf8(field(fields, month));
            locales.push_back(locale);
        } else if (fields.size() == 6 && fields[0] == "date" && !locales.empty()
            && locales.back().name == QString::fromUtf8(fields[1])) {
            const QDate day = QDate::fromString(QString::fromLatin1(fields[2]), Qt::ISODate);
            const bool inCodePage = fields[4] == "ok";
            if (!day.isValid() || fields[3].isEmpty() || (inCodePage && fields[5].isEmpty()))
                return std::nullopt;
            locales.back().texts.push_back({ day, field(fields, 3), inCodePage ? field(fields, 5) : QByteArray() });
        } else {
            std::fprintf(stderr, "not a line of the corpus: %s\n", fields.join('\t').constData());
            return std::nullopt;
        }
    }
    return locales;
}

struct Tally {
    int right = 0;
    int unread = 0;
    int wrong = 0;
    QStringList wrongTexts;
};

// Reads the texts as one list, counts each; true when all were right.
bool readList(const WindowsLocale& locale, bool inCodePage, Tally& tally)
{
    LongDateFormat format(machine());
    bool allRight = true;
    for (const WindowsText& text : locale.texts) {
        const QByteArray& written = inCodePage ? text.codePage : text.utf8;
        // A list in a code page holds its plain ASCII texts too.
        if (written.isEmpty())
            continue;
        const std::string rendered = format.render(std::string_view(written.constData(), written.size()));
        if (rendered == machine().toString(text.day, QLocale::LongFormat).toStdString()) {
            ++tally.right;
            continue;
        }
        allRight = false;
        if (rendered == std::string_view(written.constData(), written.size())) {
            ++tally.unread;
            continue;
        }
        ++tally.wrong;
        const QString where
            = inCodePage ? QStringLiteral("%1 (code page %2)").arg(locale.name).arg(locale.codePage) : locale.name;
        tally.wrongTexts << QStringLiteral("%1: \"%2\" -> \"%3\"")
                                .arg(where, QString::fromUtf8(text.utf8), QString::fromStdString(rendered));
    }
    return allRight;
}

// Qt's data has a locale when it knows its language and gives its months
// the names Windows gives them.
bool qtKnows(const WindowsLocale& locale)
{
    const QLocale qt(locale.name.section(QLatin1Char('_'), 0, 0));
    if (qt.language() == QLocale::C)
        return false;
    for (int month = 1; month <= 12; ++month) {
        const QString& name = locale.months.value(month - 1);
        if (name.compare(qt.monthName(month), Qt::CaseInsensitive) != 0
            && name.compare(qt.standaloneMonthName(month), Qt::CaseInsensitive) != 0)
            return false;
    }
    return true;
}

void print(const char* measure, const Tally& tally)
{
    std::printf("%-34s %6d texts: %6d right, %5d unread, %4d wrong\n", measure,
        tally.right + tally.unread + tally.wrong, tally.right, tally.unread, tally.wrong);
}

void printWrong(const Tally& tally)
{
    for (qsizetype index = 0; index < tally.wrongTexts.size() && index < 50; ++index)
        std::printf("  %s\n", qPrintable(tally.wrongTexts[index]));
    if (tally.wrongTexts.size() > 50)
        std::printf("  ... and %lld more\n", static_cast<long long>(tally.wrongTexts.size() - 50));
}

// The locales whose dates Windows writes in another calendar than the
// Gregorian, with their first text.
void printCalendars(const std::vector<WindowsLocale>& locales)
{
    constexpr int gregorian = 1;
    constexpr int gregorianUsEnglish = 2;
    for (const WindowsLocale& locale : locales) {
        if (locale.calendar != gregorian && locale.calendar != gregorianUsEnglish && !locale.texts.empty())
            std::printf("  %s: calendar %d, %s: \"%s\"\n", qPrintable(locale.name), locale.calendar,
                qPrintable(locale.texts.front().day.toString(Qt::ISODate)), locale.texts.front().utf8.constData());
    }
}

// The counts over the whole corpus: every list, and every text alone, in
// UTF-8 and in its code page; and the locales Qt's data knows.
struct Tallies {
    Tally utf8;
    Tally codePage;
    Tally utf8Alone;
    Tally codePageAlone;
    int known = 0;
    QStringList knownNotRight;
};

Tallies readAll(const std::vector<WindowsLocale>& locales)
{
    Tallies tallies;
    for (const WindowsLocale& locale : locales) {
        const bool utf8Right = readList(locale, false, tallies.utf8);
        const bool codePageRight = readList(locale, true, tallies.codePage);
        for (const WindowsText& text : locale.texts) {
            readList({ locale.name, locale.calendar, locale.codePage, {}, { text } }, false, tallies.utf8Alone);
            readList({ locale.name, locale.calendar, locale.codePage, {}, { text } }, true, tallies.codePageAlone);
        }
        if (qtKnows(locale)) {
            ++tallies.known;
            if (!utf8Right || !codePageRight)
                tallies.knownNotRight << locale.name;
        }
    }
    return tallies;
}

void printTallies(const std::vector<WindowsLocale>& locales, const Tallies& tallies)
{
    std::printf("%zu locales\n", locales.size());
    print("UTF-8, a list per locale:", tallies.utf8);
    print("code page, a list per locale:", tallies.codePage);
    print("UTF-8, one text per list:", tallies.utf8Alone);
    print("code page, one text per list:", tallies.codePageAlone);
    std::printf("%d locales whose month names Qt's data has; not all read right: %lld %s\n", tallies.known,
        static_cast<long long>(tallies.knownNotRight.size()), qPrintable(tallies.knownNotRight.join(QLatin1Char(' '))));
    std::printf("Read wrong, UTF-8, a list per locale:\n");
    printWrong(tallies.utf8);
    std::printf("Read wrong, code page, a list per locale:\n");
    printWrong(tallies.codePage);
    std::printf("Calendars other than the Gregorian:\n");
    printCalendars(locales);
}

// The options that set the limits a run is held to.
struct Limits {
    QCommandLineOption maxWrong { QStringLiteral("max-wrong"),
        QStringLiteral("Fail when more texts are read wrong, over all four counts."), QStringLiteral("n") };
    QCommandLineOption minRightUtf8 { QStringLiteral("min-right-utf8"),
        QStringLiteral("Fail when fewer UTF-8 texts are read right, in either measure."), QStringLiteral("n") };
    QCommandLineOption minRightCodePage { QStringLiteral("min-right-code-page"),
        QStringLiteral("Fail when fewer code page texts are read right, in either measure."), QStringLiteral("n") };
};

// False, said on standard error, when more texts are read wrong than the
// option allows.
bool withinMostWrong(const QCommandLineParser& parser, const QCommandLineOption& option, const Tallies& tallies)
{
    const int wrong
        = tallies.utf8.wrong + tallies.codePage.wrong + tallies.utf8Alone.wrong + tallies.codePageAlone.wrong;
    bool limitIsNumber = false;
    const int limit = parser.value(option).toInt(&limitIsNumber);
    if (parser.isSet(option) && (!limitIsNumber || wrong > limit)) {
        std::fprintf(stderr, "%d texts read wrong, at most %s allowed\n", wrong, qPrintable(parser.value(option)));
        return false;
    }
    return true;
}

// False, said on standard error, when fewer texts are read right, in
// either measure, than the option asks.
bool withinLeastRight(const QCommandLineParser& parser, const QCommandLineOption& option, const char* texts,
    const Tally& list, const Tally& alone)
{
    bool floorIsNumber = false;
    const int floor = parser.value(option).toInt(&floorIsNumber);
    const int right = std::min(list.right, alone.right);
    if (parser.isSet(option) && (!floorIsNumber || right < floor)) {
        std::fprintf(
            stderr, "%d %s texts read right, at least %s required\n", right, texts, qPrintable(parser.value(option)));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    // The machine's own language decides where a text leaves a choice, and
    // its code page is the first one tried.
    qputenv("LC_ALL", "en_US.UTF-8");
    QCoreApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads Windows' long dates of every locale as en_US does."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("corpus"), QStringLiteral("The output of windows_long_dates.exe."));
    const Limits limits;
    parser.addOptions({ limits.maxWrong, limits.minRightUtf8, limits.minRightCodePage });
    parser.process(application);
    if (parser.positionalArguments().size() != 1)
        parser.showHelp(2);
    const std::optional<std::vector<WindowsLocale>> locales = readCorpus(parser.positionalArguments().front());
    if (!locales) {
        std::fprintf(stderr, "cannot read the corpus %s\n", qPrintable(parser.positionalArguments().front()));
        return 2;
    }

    const Tallies tallies = readAll(*locales);
    printTallies(*locales, tallies);
    // Every limit is checked, so that each one missed is said.
    const bool mostWrong = withinMostWrong(parser, limits.maxWrong, tallies);
    const bool leastUtf8 = withinLeastRight(parser, limits.minRightUtf8, "UTF-8", tallies.utf8, tallies.utf8Alone);
    const bool leastCodePage
        = withinLeastRight(parser, limits.minRightCodePage, "code page", tallies.codePage, tallies.codePageAlone);
    return mostWrong && leastUtf8 && leastCodePage ? 0 : 1;
}
