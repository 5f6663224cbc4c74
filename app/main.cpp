#include "app/WindowModule.h"
#include "cli/CommandLine.h"
#include "services/Printer.h"
#include "system/Process.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    deptest::prepareProcess();
    if (argc <= 1) {
        if (const char* missing = deptest::missingDisplay()) {
            std::fprintf(stderr,
                "deptest: %s; from a shell, use deptest --test, --generate, --print or --names-of (see deptest "
                "--help)\n",
                missing);
            return deptest::cli::exitStatus::failure;
        }
        const deptest::WindowModule* module = deptest::windowModule();
        return module != nullptr ? module->runWindow(argc, argv) : deptest::cli::exitStatus::failure;
    }
    const deptest::cli::PrintSupport printing {
        [](int& count, char** arguments) {
            const deptest::WindowModule* module = deptest::windowModule();
            if (module == nullptr)
                return std::unique_ptr<QCoreApplication>();
            deptest::preparePrintingWithoutWindow();
            return module->makePrintingApplication(count, arguments);
        },
        [] {
            const deptest::WindowModule* module = deptest::windowModule();
            return module != nullptr ? module->makePrinter() : nullptr;
        },
    };
    return deptest::cli::runCommandLine(argc, argv, printing);
}
