#pragma once

#include "host/HostRuntime.h"
#include "tests/fakes/FakeWindow.h"
#include "tests/fakes/RecordingPrinter.h"
#include "tests/support/Machine.h"

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deptest::test {

// The host runtime on a test machine: its own directories and locale,
// messages recorded instead of shown, a recording printer unless the test
// sets another.
class TestRuntime : public HostRuntime {
public:
    explicit TestRuntime(
        const Machine& machine, const QLocale& locale = QLocale(QLocale::English, QLocale::UnitedStates));
    explicit TestRuntime(HostSettings settings);

    void showMessage(std::string_view text) override;
    // Records the question and gives the answer the test set.
    bool askYesNo(std::string_view question) override
    {
        questions.emplace_back(question);
        return answer;
    }
    // Records the prompt and gives the password the test set.
    std::optional<std::string> askPassword(std::string_view prompt) override
    {
        prompts.emplace_back(prompt);
        return password;
    }
    void processEvents() override;
    Printer& printer() override { return *m_printer; }
    void setPrinter(std::unique_ptr<Printer> printer) { m_printer = std::move(printer); }

    std::vector<std::string> messages;
    std::vector<std::string> questions;
    bool answer { false };
    std::vector<std::string> prompts;
    std::optional<std::string> password;
    // Called on every event processing, before the real one.
    std::function<void()> onProcessEvents;
    int eventRounds { 0 };

private:
    std::unique_ptr<Printer> m_printer = std::make_unique<RecordingPrinter>();
};

// The runtime of the commands on this machine.
inline TestRuntime runtimeOn(const Machine& machine) { return TestRuntime(machine); }

} // namespace deptest::test
