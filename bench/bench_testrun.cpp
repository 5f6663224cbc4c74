// Times the test run over 1,000, 10,000 and 100,000 files found in the
// application directory (three lookups each): through the real window
// offscreen, through a window stub, and a plain loop doing the same
// lookups and date renderings, which is the baseline of every ratio.

#include "app/frmTest.h"
#include "bench/BenchMachine.h"
#include "errors/ErrorState.h"
#include "platform/Window.h"
#include "records/RecordWriter.h"
#include "verify/TestRun.h"

#include <QApplication>
#include <QListView>
#include <QPushButton>

#include <fstream>

using namespace deptest;
using namespace deptest::bench;

namespace {

class StubWindow final : public Window {
public:
    void setEnabled(Button, bool) override { }
    void clear(ListBox) override { lines = 0; }
    void append(ListBox, std::string_view) override { ++lines; }
    [[nodiscard]] int missingCount() const override { return 0; }
    [[nodiscard]] bool appDirOnly() const override { return false; }
    void pressExit() override { }
    [[nodiscard]] bool isUnloaded() const override { return false; }
    int lines { 0 };
};

void writeReferenceList(const BenchMachine& machine, int count)
{
    HostRuntime runtime(machine.settings());
    std::ofstream out(machine.directory("app") + "/indll.txt", std::ios::binary);
    for (int i = 0; i < count; ++i) {
        const std::string name = BenchMachine::fileName(i);
        FileTime time;
        std::string date;
        ErrorState state;
        runtime.fileTime(machine.directory("app") + "/" + name, time, state);
        runtime.longDate(time, date, state);
        out << '"' << name << "\",\"" << i % 97 << "\",\"" << date << "\"\r\n";
    }
}

} // namespace

int main(int argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication application(argc, argv);
    std::printf("%9s %12s %12s %12s %10s %10s %12s\n", "entries", "baseline s", "stub s", "window s", "stub/base",
        "window/base", "window us/entry");
    for (int count : { 1000, 10000, 100000 }) {
        BenchMachine machine;
        machine.makeFiles("app", count);
        writeReferenceList(machine, count);

        const QLocale locale(QLocale::English, QLocale::UnitedStates);
        std::size_t sink = 0;
        const double baseline = seconds([&] {
            for (int i = 0; i < count; ++i) {
                const std::string name = "/" + BenchMachine::fileName(i);
                sink += plainLookup({ machine.directory("system") + name, machine.directory("windows") + name,
                                        machine.directory("app") + name },
                    locale);
            }
        });

        HostRuntime stubRuntime(machine.settings());
        StubWindow stub;
        const double stubbed = seconds([&] { runTest(stub, stubRuntime); });

        HostRuntime windowRuntime(machine.settings());
        frmTest window(windowRuntime);
        window.show();
        QCoreApplication::processEvents();
        auto* cmdTest = window.findChild<QPushButton*>(QStringLiteral("cmdTest"));
        const double real = seconds([&] { cmdTest->click(); });
        const int shown = window.findChild<QListView*>(QStringLiteral("lstMatching"))->model()->rowCount();

        if (stub.lines != count || shown != count)
            std::fprintf(
                stderr, "warning: %d of %d entries matched in the stub, %d in the window\n", stub.lines, count, shown);
        std::printf("%9d %12.3f %12.3f %12.3f %10.2f %10.2f %12.2f\n", count, baseline, stubbed, real,
            stubbed / baseline, real / baseline, real / count * 1e6);
        (void)sink;
    }
    return 0;
}
