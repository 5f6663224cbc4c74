#include "app/frmTest.h"
#include "platform/HostRuntime.h"
#include "platform/TerminationRequests.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("deptest"));
    deptest::HostRuntime runtime(deptest::HostRuntime::settingsForThisMachine());
    deptest::frmTest window(runtime);
    deptest::TerminationRequests termination;
    QObject::connect(&termination, &deptest::TerminationRequests::requested, &window, &deptest::frmTest::endOnRequest);
    window.show();
    return QApplication::exec();
}
