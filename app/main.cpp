#include "desktop/DesktopRuntime.h"
#include "desktop/frmTest.h"
#ifndef _WIN32
#include "host/TerminationRequests.h"
#endif

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("deptest"));
    deptest::DesktopRuntime runtime(deptest::HostRuntime::settingsForThisMachine());
    deptest::frmTest window(runtime);
#ifndef _WIN32
    // Ctrl+C, kill and a closing session close the window as its close box does.
    deptest::TerminationRequests termination;
    QObject::connect(&termination, &deptest::TerminationRequests::requested, &window, &deptest::frmTest::endOnRequest);
#endif
    window.show();
    return QApplication::exec();
}
