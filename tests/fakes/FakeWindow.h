#pragma once

#include "services/Window.h"

#include <array>
#include <string>
#include <vector>

namespace deptest::test {

// A window that remembers what the commands did to it.
class FakeWindow final : public Window {
public:
    void setEnabled(Button button, bool enabled) override;
    void clear(ListBox list) override;
    void append(ListBox list, std::string_view line, std::string_view detail) override;
    [[nodiscard]] int missingCount() const override { return static_cast<int>(missing.size()); }
    [[nodiscard]] bool appDirOnly() const override { return appDirectoryOnly; }
    void pressExit() override;
    [[nodiscard]] bool isUnloaded() const override { return exited; }
    void noteSignature(const ListSignatureNote& note) override { signatures.push_back(note); }

    std::vector<std::string> matching;
    std::vector<std::string> missing;
    std::vector<std::string> missingDetails;
    std::array<bool, 3> enabled { true, true, true };
    // Every gating step in order, e.g. "Test-", "Print-", "Exit-", "Test+".
    std::vector<std::string> gating;
    bool appDirectoryOnly { false };
    bool exited { false };
    std::vector<ListSignatureNote> signatures;
};

} // namespace deptest::test
