// Times the test run under en_US over a reference list of 100,000 files
// with 1,000 distinct days, written once under de_DE and once under en_US:
// a list from a machine of another language must cost no more per entry
// than one from a machine of the same language. Each figure is the median
// of alternating rounds; the English list is the baseline of the ratio.
// A third list of the same files holds 100,000 distinct date texts that no
// language reads: it must cost no more than twice the English list. A
// fourth holds 100,000 distinct English dates none of which matches, so
// that the cost of the exceptions is seen apart from that of reading.

#include "bench/BenchMachine.h"
#include "generate/ReferenceGeneration.h"
#include "services/Window.h"
#include "verify/TestRun.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QLocale>

#include <algorithm>
#include <fstream>
#include <vector>

using namespace deptest;
using namespace deptest::bench;

namespace {

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

// The reference list Ctrl+B writes on a machine of `locale`.
std::string referenceListUnder(const BenchMachine& machine, const QLocale& locale)
{
    TestRuntime generator(machine.settings(locale));
    generateReference(generator);
    const std::string path = machine.dataFile("indll.txt");
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// The English list with every date replaced by a distinct text that reads
// in no language: names of no language, a day and a year.
std::string replacedDates(const std::string& list, bool readable)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    std::string result;
    int index = 0;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        const std::string line = list.substr(start, end - start);
        const std::size_t dateStart = line.find(",\"", line.find("\",\"") + 3);
        if (dateStart == std::string::npos) {
            result += line;
        } else {
            const std::string date = readable
                ? english.toString(QDate(1700, 1, 1).addDays(index), QLocale::LongFormat).toStdString()
                : "Rahoroi, " + std::to_string(index % 28 + 1) + " Hanuere " + std::to_string(1000 + index / 28);
            result += line.substr(0, dateStart) + ",\"" + date + "\"\r";
            ++index;
        }
        result += "\n";
        start = end + 1;
    }
    return result;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    constexpr int count = 100000;
    constexpr int rounds = 15;
    BenchMachine machine;
    machine.makeFiles("system", count, 1000);
    {
        std::ofstream names(machine.dataFile("dlls.txt"), std::ios::binary);
        for (int i = 0; i < count; ++i)
            names << BenchMachine::fileName(i) << "\r\n";
    }
    const std::string german = referenceListUnder(machine, QLocale(QLocale::German, QLocale::Germany));
    const std::string english = referenceListUnder(machine, QLocale(QLocale::English, QLocale::UnitedStates));

    const std::string unreadable = replacedDates(english, false);
    const std::string distinct = replacedDates(english, true);

    std::vector<double> germanRuns;
    std::vector<double> englishRuns;
    std::vector<double> unreadableRuns;
    std::vector<double> distinctRuns;
    int germanMatches = 0;
    int englishMatches = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string* list : { &german, &english, &unreadable, &distinct }) {
            test::Machine::writeText(machine.dataFile("indll.txt"), *list);
            TestRuntime runtime(machine.settings()); // en_US, fresh: every text is new to it
            StubWindow window;
            const double time = seconds([&] { runTest(window, runtime); });
            if (list == &german) {
                germanRuns.push_back(time);
                germanMatches = window.matching;
            } else if (list == &english) {
                englishRuns.push_back(time);
                englishMatches = window.matching;
            } else {
                (list == &unreadable ? unreadableRuns : distinctRuns).push_back(time);
            }
        }
    }
    if (germanMatches != count || englishMatches != count)
        std::fprintf(
            stderr, "warning: %d German and %d English entries of %d matched\n", germanMatches, englishMatches, count);
    const double germanTime = median(germanRuns);
    const double englishTime = median(englishRuns);
    std::printf("%d entries, 1000 days, tested under en_US: en_US list %.3f s, de_DE list %.3f s, de/en %.3f "
                "(target <= 1.10)\n",
        count, englishTime, germanTime, germanTime / englishTime);
    const double unreadableTime = median(unreadableRuns);
    std::printf("%d distinct unreadable date texts: %.3f s, unreadable/en %.3f (target <= 2.00)\n", count,
        unreadableTime, unreadableTime / englishTime);
    const double distinctTime = median(distinctRuns);
    std::printf("%d distinct readable, unmatched date texts: %.3f s, unreadable/distinct readable %.3f\n", count,
        distinctTime, unreadableTime / distinctTime);
    return 0;
}
