// The test run through the real window (offscreen) and the generation at
// 10,000 and at 1,000,000 entries: time per entry and the peak memory of
// the process. Each size runs in a process of its own, so that the peak
// belongs to that size alone:
//   bench_scale run 1000000      bench_scale generate 1000000
// Without arguments it runs all four and prints the comparison.

#include "bench/BenchMachine.h"
#include "desktop/frmTest.h"
#include "generate/ReferenceGeneration.h"

#include <QApplication>
#include <QListView>
#include <QProcess>
#include <QPushButton>

#include <fstream>

#include <sys/resource.h>

using namespace deptest;
using namespace deptest::bench;

namespace {

long peakKilobytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int measure(const QString& what, int count)
{
    BenchMachine machine;
    const char* where = what == "run" ? "app" : "system";
    machine.makeFiles(where, count);
    std::ofstream names(machine.directory("app") + "/dlls.txt", std::ios::binary);
    for (int i = 0; i < count; ++i)
        names << BenchMachine::fileName(i) << "\r\n";
    names.close();
    TestRuntime runtime(machine.settings());
    if (what == "run") {
        // The reference list comes from a generation over the same files.
        HostSettings settings = machine.settings();
        settings.directories.system = machine.directory("app") + "/";
        TestRuntime generator(settings);
        generateReference(generator);
    }
    // The file system's own cost at this size: the same stat calls and
    // date renderings in a plain loop, measured before and after the command
    // (the first look at a million names warms the caches for the second).
    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    std::size_t sink = 0;
    const auto plainLoop = [&] {
        for (int i = 0; i < count; ++i) {
            std::string name = "/"; // not "/" + ...: GCC 12 warns of overlap there, wrongly
            name += BenchMachine::fileName(i);
            if (what == "run")
                sink += plainLookup({ machine.directory("system") + name, machine.directory("windows") + name,
                                        machine.directory("app") + name },
                    locale);
            else
                sink += plainLookup({ machine.directory("system") + name }, locale);
        }
    };
    const double baselineBefore = seconds(plainLoop);
    const long before = peakKilobytes();
    double elapsed = 0;
    int shown = 0;
    if (what == "run") {
        frmTest window(runtime);
        window.show();
        QCoreApplication::processEvents();
        elapsed = seconds([&] { window.findChild<QPushButton*>(QStringLiteral("cmdTest"))->click(); });
        shown = window.findChild<QListView*>(QStringLiteral("lstMatching"))->model()->rowCount();
    } else {
        elapsed = seconds([&] { generateReference(runtime); });
        shown = count;
    }
    const double baseline = (baselineBefore + seconds(plainLoop)) / 2;
    std::printf("%s %d %.3f %.3f %ld %ld %d %.3f\n", qPrintable(what), count, elapsed, elapsed / count * 1e6, before,
        peakKilobytes(), shown, elapsed / baseline);
    (void)sink;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() == 3)
        return measure(arguments[1], arguments[2].toInt());

    std::printf("%-9s %9s %10s %12s %14s %8s %12s\n", "command", "entries", "seconds", "us/entry", "peak MB", "matched",
        "x baseline");
    for (const char* what : { "run", "generate" }) {
        double perEntry[2] = {};
        int slot = 0;
        for (int count : { 10000, 1000000 }) {
            QProcess child;
            child.start(arguments[0], { what, QString::number(count) });
            child.waitForFinished(-1);
            const QStringList fields = QString::fromUtf8(child.readAllStandardOutput()).split(' ');
            if (fields.size() < 8) {
                std::printf("%s %d failed\n", what, count);
                continue;
            }
            perEntry[slot++] = fields[3].toDouble();
            std::printf("%-9s %9d %10s %12s %14.1f %8s %12s", what, count, qPrintable(fields[2]), qPrintable(fields[3]),
                fields[5].toDouble() / 1024, qPrintable(fields[6]), qPrintable(fields[7].trimmed()));
            std::printf(
                slot == 2 ? "   (per entry at 1,000,000 / at 10,000: %.2f)\n" : "\n", perEntry[1] / perEntry[0]);
        }
    }
    return 0;
}
