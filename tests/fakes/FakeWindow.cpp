#include "tests/fakes/FakeWindow.h"

namespace deptest::test {

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

} // namespace deptest::test
