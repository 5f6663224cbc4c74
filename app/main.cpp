#include "app/WindowModule.h"
#include "cli/CommandLine.h"
#include "services/Printer.h"
#include "system/Process.h"

#include <QCoreApplication>

int main(int argc, char* argv[])
{
    deptest::prepareProcess();
    if (argc <= 1) {
        const deptest::WindowModule* module = deptest::windowModule();
        return module != nullptr ? module->runWindow(argc, argv) : deptest::cli::exitStatus::failure;
    }
    const deptest::cli::PrintSupport printing {
        [](int& count, char** arguments) {
            const deptest::WindowModule* module = deptest::windowModule();
            return module != nullptr ? module->makePrintingApplication(count, arguments) : nullptr;
        },
        [] {
            const deptest::WindowModule* module = deptest::windowModule();
            return module != nullptr ? module->makePrinter() : nullptr;
        },
    };
    return deptest::cli::runCommandLine(argc, argv, printing);
}
