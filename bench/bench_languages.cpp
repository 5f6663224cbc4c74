// Times the test run under en_US over a reference list of 100,000 files
// with 1,000 distinct days, written once under de_DE and once under en_US:
// a list from a machine of another language must cost no more per entry
// than one from a machine of the same language. Each figure is the median
// of alternating rounds; the English list is the baseline of the ratio.

#include "bench/BenchMachine.h"
#include "generate/ReferenceGeneration.h"
#include "services/Window.h"
#include "verify/TestRun.h"

#include <QCoreApplication>
#include <QFile>

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

    std::vector<double> germanRuns;
    std::vector<double> englishRuns;
    int germanMatches = 0;
    int englishMatches = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const bool isGerman : { true, false }) {
            test::Machine::writeText(machine.dataFile("indll.txt"), isGerman ? german : english);
            TestRuntime runtime(machine.settings()); // en_US, fresh: every text is new to it
            StubWindow window;
            const double time = seconds([&] { runTest(window, runtime); });
            (isGerman ? germanRuns : englishRuns).push_back(time);
            (isGerman ? germanMatches : englishMatches) = window.matching;
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
    return 0;
}
