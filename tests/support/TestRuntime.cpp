#include "tests/support/TestRuntime.h"

#include <QCoreApplication>

namespace deptest::test {

TestRuntime::TestRuntime(const Machine& machine, const QLocale& locale)
    : HostRuntime(machine.settings(locale))
{
}

TestRuntime::TestRuntime(HostSettings settings)
    : HostRuntime(std::move(settings))
{
}

void TestRuntime::showMessage(std::string_view text) { messages.emplace_back(text); }

void TestRuntime::processEvents()
{
    ++eventRounds;
    if (onProcessEvents)
        onProcessEvents();
    QCoreApplication::processEvents();
}

} // namespace deptest::test
