// Times the reference generation over 100,000 names found in the system
// directory (one lookup each) against a plain loop doing the same lookups
// and date renderings (the baseline) and against mtree measuring size and
// time of the same files.

#include "bench/BenchMachine.h"
#include "generate/ReferenceGeneration.h"

#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include <fstream>

using namespace deptest;
using namespace deptest::bench;

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    constexpr int count = 100000;
    BenchMachine machine;
    machine.makeFiles("system", count);
    {
        std::ofstream names(machine.directory("app") + "/dlls.txt", std::ios::binary);
        for (int i = 0; i < count; ++i)
            names << BenchMachine::fileName(i) << "\r\n";
    }

    const QLocale locale(QLocale::English, QLocale::UnitedStates);
    std::size_t sink = 0;
    const double baseline = seconds([&] {
        for (int i = 0; i < count; ++i)
            sink += plainLookup({ machine.directory("system") + "/" + BenchMachine::fileName(i) }, locale);
    });

    TestRuntime runtime(machine.settings());
    const double generation = seconds([&] { generateReference(runtime); });

    double mtree = -1;
    const QString mtreeProgram = QStandardPaths::findExecutable(QStringLiteral("mtree"));
    if (!mtreeProgram.isEmpty()) {
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        mtree = seconds([&] {
            process.start(
                mtreeProgram, { "-c", "-k", "size,time", "-p", QString::fromStdString(machine.directory("system")) });
            process.waitForFinished(-1);
        });
    }

    std::printf("%d names: baseline %.3f s, generation %.3f s (%.2f x baseline)", count, baseline, generation,
        generation / baseline);
    if (mtree >= 0)
        std::printf(
            ", mtree %.3f s (%.2f x baseline; generation/mtree %.2f)\n", mtree, mtree / baseline, generation / mtree);
    else
        std::printf(", mtree not installed\n");
    (void)sink;
    return 0;
}
