// Times the test run under en_US over a reference list of 100,000 files
// with 1,000 distinct days, once with the long dates deptest writes and
// once with the timestamps `find -printf '%TY-%Tm-%TdT%TT%Tz'` writes: as
// many distinct texts as files, each with a fraction of a second and the
// zone's offset. A list of timestamps must cost no more than 1.1 times the
// list of long dates. Each figure is the median of alternating rounds.

#include "bench/BenchMachine.h"
#include "generate/ReferenceGeneration.h"
#include "services/Window.h"
#include "verify/TestRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
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

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return { std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>() };
}

// A file's modification time as find's printf writes it, a distinct second
// of its day for each file.
std::string timestampOf(const std::string& path, int index)
{
    const QDateTime modified = QFileInfo(QString::fromStdString(path)).lastModified().addSecs(index % 3600);
    const int offset = modified.offsetFromUtc();
    const QString zone = QStringLiteral("%1%2%3")
                             .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                             .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                             .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    return (modified.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) + QStringLiteral("0000000") + zone)
        .toStdString();
}

// The list with each long date replaced by its file's timestamp.
std::string withTimestamps(const BenchMachine& machine, const std::string& list)
{
    std::string result;
    int index = 0;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find('\n', start), list.size());
        const std::string line = list.substr(start, end - start);
        const std::size_t nameEnd = line.find("\",\"");
        const std::size_t dateStart = line.find(",\"", nameEnd + 3);
        if (nameEnd == std::string::npos || dateStart == std::string::npos) {
            result += line;
        } else {
            const std::string name = line.substr(1, nameEnd - 1);
            result += line.substr(0, dateStart) + ",\"" + timestampOf(machine.directory("system") + "/" + name, index)
                + "\"\r";
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
    constexpr int rounds = 11;
    BenchMachine machine;
    machine.makeFiles("system", count, 1000);
    {
        std::ofstream names(machine.dataFile("dlls.txt"), std::ios::binary);
        for (int i = 0; i < count; ++i)
            names << BenchMachine::fileName(i) << "\r\n";
    }
    {
        TestRuntime generator(machine.settings());
        generateReference(generator);
    }
    const std::string longDates = readAll(machine.dataFile("indll.txt"));
    const std::string timestamps = withTimestamps(machine, longDates);

    std::vector<double> longRuns;
    std::vector<double> timestampRuns;
    int longMatches = 0;
    int timestampMatches = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const std::string* list : { &longDates, &timestamps }) {
            test::Machine::writeText(machine.dataFile("indll.txt"), *list);
            TestRuntime runtime(machine.settings()); // en_US, fresh
            StubWindow window;
            const double time = seconds([&] { runTest(window, runtime); });
            (list == &longDates ? longRuns : timestampRuns).push_back(time);
            (list == &longDates ? longMatches : timestampMatches) = window.matching;
        }
    }
    if (longMatches != count || timestampMatches != count)
        std::fprintf(stderr, "warning: %d long-date and %d timestamp entries of %d matched\n", longMatches,
            timestampMatches, count);
    const double longTime = median(longRuns);
    const double timestampTime = median(timestampRuns);
    std::printf("%d entries, 1000 days, tested under en_US: long dates %.3f s, ISO timestamps %.3f s, "
                "timestamps/long %.3f (target <= 1.10)\n",
        count, longTime, timestampTime, timestampTime / longTime);
    return 0;
}
