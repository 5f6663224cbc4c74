// Times the name list of every ELF program in /usr/bin at once against
// running ldd on each of them (the baseline), in the same run. The walk
// shares the loader's cache and every library it has read across programs.

#include "bench/BenchMachine.h"
#include "names/NameList.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>

using namespace deptest;
using namespace deptest::bench;

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    std::vector<std::string> programs;
    for (const QFileInfo& file : QDir("/usr/bin").entryInfoList(QDir::Files, QDir::Name)) {
        QFile content(file.filePath());
        if (content.open(QIODevice::ReadOnly)
            && content.read(4)
                == "\x7f"
                   "ELF")
            programs.push_back(file.filePath().toStdString());
    }

    const double ldd = seconds([&] {
        for (const std::string& program : programs) {
            QProcess process;
            process.setStandardOutputFile(QProcess::nullDevice());
            process.setStandardErrorFile(QProcess::nullDevice());
            process.start("ldd", { QString::fromStdString(program) });
            process.waitForFinished(-1);
        }
    });

    const std::string systemDirectory = "/usr/lib/" + std::string(DEPTEST_LIBRARY_ARCHITECTURE) + "/";
    const names::NameListOptions options = names::hostNameListOptions(systemDirectory, "/usr/lib/", "/usr/bin/");
    std::size_t listed = 0;
    const double names = seconds([&] { listed = names::collectNames(programs, options).names.size(); });

    std::printf("%zu programs: ldd on each %.3f s, one name list %.3f s (%.3f x ldd), %zu names listed\n",
        programs.size(), ldd, names, names / ldd, listed);
    return 0;
}
