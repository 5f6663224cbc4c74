// Times the test run over 1,000, 10,000 and 100,000 files found in the
// application directory (three lookups each): through the real window
// offscreen, through a window stub, and a plain loop doing the same
// lookups and date renderings, which is the baseline of every ratio.
// Figures are medians over rounds that add up to a million entries a size,
// offscreen and on the xcb platform (on a private Xvfb when no X server is
// there), each in a process of its own.

#include "bench/BenchMachine.h"
#include "desktop/frmTest.h"
#include "records/RecordWriter.h"
#include "services/Window.h"
#include "verify/TestRun.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QListView>
#include <QProcess>
#include <QPushButton>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <vector>

using namespace deptest;
using namespace deptest::bench;

namespace {

void writeReferenceList(const BenchMachine& machine, int count)
{
    TestRuntime runtime(machine.settings());
    std::ofstream out(machine.directory("app") + "/indll.txt", std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string name = BenchMachine::fileName(i);
        const Result<FileMeasurement> measured = runtime.measure(machine.directory("app") + "/" + name);
        std::string date;
        if (measured)
            (void)runtime.formatLongDate(measured->modified, date);
        out << '"' << name << "\",\"" << i % 97 << "\",\"" << date << "\"\r\n";
    }
}

double median(std::vector<double> values)
{
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2), values.end());
    return values[values.size() / 2];
}

} // namespace

// Runs this benchmark again, in a process of its own, on a display
// platform; false when it could not be run there.
bool runOnPlatform(const char* program, const QString& platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    QProcess xvfb;
    if (platform == QLatin1String("xcb") && qEnvironmentVariableIsEmpty("DISPLAY")) {
        // No X server here: a private one for the run, on a display it
        // picks itself and names on its output once it takes connections.
        xvfb.start(QStringLiteral("Xvfb"),
            { QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-noreset"),
                QStringLiteral("-nolisten"), QStringLiteral("tcp") });
        if (!xvfb.waitForStarted(60'000)) {
            std::printf("\nxcb: no X server, and Xvfb could not be started (install xvfb): skipped\n");
            return true;
        }
        QByteArray display;
        const QDeadlineTimer deadline(std::chrono::seconds(60));
        while (!display.endsWith('\n') && xvfb.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            display += xvfb.readAllStandardOutput();
        if (!display.endsWith('\n')) {
            std::fprintf(
                stderr, "\nxcb: Xvfb was not ready within 60 s: %s\n", xvfb.readAllStandardError().constData());
            return false;
        }
        environment.insert(QStringLiteral("DISPLAY"), QStringLiteral(":") + QString::fromLatin1(display.trimmed()));
    }
    std::printf("\n%s%s\n", qPrintable(platform), xvfb.state() == QProcess::Running ? " (on a private Xvfb)" : "");
    std::fflush(stdout);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(QString::fromLocal8Bit(program), { QStringLiteral("--child") });
    child.waitForFinished(-1);
    if (xvfb.state() == QProcess::Running) {
        xvfb.terminate();
        xvfb.waitForFinished(-1);
    }
    return child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

int main(int argc, char* argv[])
{
    if (argc < 2 || std::string_view(argv[1]) != "--child") {
        QCoreApplication launcher(argc, argv);
        bool ran = true;
        for (const char* platform : { "offscreen", "xcb" })
            ran = runOnPlatform(argv[0], QString::fromLatin1(platform)) && ran;
        return ran ? 0 : 1;
    }
    QApplication application(argc, argv);
    std::printf("%9s %12s %12s %12s %10s %10s %12s\n", "entries", "baseline s", "stub s", "window s", "stub/base",
        "window/base", "window us/entry");
    for (int count : { 1000, 10000, 100000 }) {
        BenchMachine machine;
        machine.makeFiles("app", count);
        writeReferenceList(machine, count);

        const QLocale locale(QLocale::English, QLocale::UnitedStates);
        std::size_t sink = 0;
        const auto plainLoop = [&] {
            for (int i = 0; i < count; ++i) {
                std::string name = "/"; // not "/" + ...: GCC 12 warns of overlap there, wrongly
                name += BenchMachine::fileName(i);
                sink += plainLookup({ machine.directory("system") + name, machine.directory("windows") + name,
                                        machine.directory("app") + name },
                    locale);
            }
        };
        TestRuntime stubRuntime(machine.settings());
        StubWindow stub;
        TestRuntime windowRuntime(machine.settings());
        frmTest window(windowRuntime);
        window.show();
        QCoreApplication::processEvents();
        auto* cmdTest = window.findChild<QPushButton*>(QStringLiteral("cmdTest"));

        // A short run takes a few milliseconds, well within the noise of
        // this machine: every size adds up to a million entries, taking the
        // three in turn, and each figure is the median of its rounds.
        plainLoop(); // the first look at each name costs more for whoever comes first
        const int rounds = std::clamp(1'000'000 / count, 3, 101);
        std::vector<double> baselines, stubbedRuns, realRuns;
        for (int round = 0; round < rounds; ++round) {
            baselines.push_back(seconds(plainLoop));
            stubbedRuns.push_back(seconds([&] { runTest(stub, stubRuntime); }));
            realRuns.push_back(seconds([&] { cmdTest->click(); }));
        }
        const double baseline = median(baselines);
        const double stubbed = median(stubbedRuns);
        const double real = median(realRuns);
        const int shown = window.findChild<QListView*>(QStringLiteral("lstMatching"))->model()->rowCount();

        if (stub.matching != count || shown != count)
            std::fprintf(stderr, "warning: %d of %d entries matched in the stub, %d in the window\n", stub.matching,
                count, shown);
        std::printf("%9d %12.3f %12.3f %12.3f %10.2f %10.2f %12.2f\n", count, baseline, stubbed, real,
            stubbed / baseline, real / baseline, real / count * 1e6);
        (void)sink;
    }
    return 0;
}
