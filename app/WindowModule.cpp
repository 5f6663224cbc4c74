#include "app/WindowModule.h"

#include "desktop/DesktopRuntime.h"
#include "desktop/QtPrinter.h"
#include "desktop/frmTest.h"
#include "host/TerminationRequests.h"

#include <QApplication>

namespace {

int runWindow(int& argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("deptest"));
    deptest::substituteWindowFonts();
    deptest::DesktopRuntime runtime(deptest::HostRuntime::settingsForThisMachine());
    deptest::frmTest window(runtime);
    // Ctrl+C, kill and a closing session close the window as its close box does.
    deptest::TerminationRequests termination;
    QObject::connect(&termination, &deptest::TerminationRequests::requested, &window, &deptest::frmTest::endOnRequest);
    window.show();
    return QApplication::exec();
}

// Printing from a shell draws the pages but shows nothing; the platform it
// draws on was chosen before (preparePrintingWithoutWindow).
std::unique_ptr<QCoreApplication> printingApplication(int& argc, char* argv[])
{
    return std::make_unique<QApplication>(argc, argv);
}

std::unique_ptr<deptest::Printer> defaultPrinter()
{
    return std::make_unique<deptest::QtPrinter>(deptest::printJobTitle());
}

} // namespace

// Exported from the module where it is one of its own (set by the build).
extern "C" DEPTEST_MODULE_EXPORT const deptest::WindowModule* deptestWindowModule()
{
    static const deptest::WindowModule module { runWindow, printingApplication, defaultPrinter };
    return &module;
}
