#include "app/frmTest.h"
#include "platform/HostRuntime.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("deptest"));
    deptest::HostRuntime runtime(deptest::HostRuntime::settingsForThisMachine());
    deptest::frmTest window(runtime);
    window.show();
    return QApplication::exec();
}
