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

void FakeWindow::setEnabled(Button button, bool on)
{
    static constexpr const char* names[] = { "Test", "Print", "Exit" };
    const auto index = static_cast<std::size_t>(button);
    enabled[index] = on;
    gating.push_back(std::string(names[index]) + (on ? "+" : "-"));
}

void FakeWindow::clear(ListBox list)
{
    (list == ListBox::Matching ? matching : missing).clear();
    if (list == ListBox::Missing)
        missingDetails.clear();
}

void FakeWindow::append(ListBox list, std::string_view line, std::string_view detail)
{
    (list == ListBox::Matching ? matching : missing).emplace_back(line);
    if (list == ListBox::Missing)
        missingDetails.emplace_back(detail);
}

void FakeWindow::pressExit() { exited = true; }

Outcome RecordingPrinter::nextOperation()
{
    ++m_operations;
    if (failAt != 0 && m_operations == failAt)
        return Error::of(failWith);
    return {};
}

Outcome RecordingPrinter::printLine(std::span<const PrintText> texts)
{
    if (Outcome failure = nextOperation())
        return failure;
    if (pages.empty())
        pages.emplace_back();
    Line line;
    for (const PrintText& text : texts)
        line.emplace_back(text.column, std::string(text.text));
    pages.back().push_back(std::move(line));
    return {};
}

Outcome RecordingPrinter::newPage()
{
    if (Outcome failure = nextOperation())
        return failure;
    if (pages.empty())
        pages.emplace_back();
    pages.emplace_back();
    return {};
}

Outcome RecordingPrinter::endDocument()
{
    if (Outcome failure = nextOperation())
        return failure;
    ++ended;
    printed.push_back(std::move(pages));
    pages.clear();
    return {};
}

void RecordingPrinter::cancelDocument()
{
    ++cancelled;
    pages.clear();
}

} // namespace deptest::test
