#include "app/frmTest.h"
#include "platform/DesktopRuntime.h"
#include "platform/TerminationRequests.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("deptest"));
    deptest::DesktopRuntime runtime(deptest::HostRuntime::settingsForThisMachine());
    deptest::frmTest window(runtime);
    deptest::TerminationRequests termination;
    QObject::connect(&termination, &deptest::TerminationRequests::requested, &window, &deptest::frmTest::endOnRequest);
    window.show();
    return QApplication::exec();
}
