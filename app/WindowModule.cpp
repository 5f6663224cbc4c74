#include "app/WindowModule.h"

#include "desktop/DesktopRuntime.h"
#include "desktop/QtPrinter.h"
#include "desktop/frmTest.h"
#include "host/TerminationRequests.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

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

// Printing from a shell draws the pages but shows nothing: unless the user
// chose a platform, it draws offscreen, so no display is needed.
std::unique_ptr<QCoreApplication> printingApplication(int& argc, char* argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A session without a runtime directory (root over su, a cron job): a
    // private one for this run, where Qt would warn and pick one in /tmp.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static const QTemporaryDir runtimeDirectory;
        if (runtimeDirectory.isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDirectory.path()));
    }
    return std::make_unique<QApplication>(argc, argv);
}

std::unique_ptr<deptest::Printer> defaultPrinter()
{
    return std::make_unique<deptest::QtPrinter>(deptest::printJobTitle());
}

} // namespace

extern "C" __attribute__((visibility("default"))) const deptest::WindowModule* deptestWindowModule()
{
    static const deptest::WindowModule module { runWindow, printingApplication, defaultPrinter };
    return &module;
}
