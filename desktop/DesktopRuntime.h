#pragma once

#include "host/HostRuntime.h"
#include "services/Printer.h"

#include <memory>
#include <optional>

namespace deptest {

// What the print queue shows for a report: the program and the file.
QString printJobTitle();

// A modal box with the program's caption and one OK button, over the
// active window; returns when the user has closed it. Text that is not
// UTF-8 (a name from a list) shows in the code page given.
void showMessageBox(std::string_view text, int codePage = 1252);

// The host runtime with the desktop's message boxes and default printer.
class DesktopRuntime final : public HostRuntime {
public:
    explicit DesktopRuntime(HostSettings settings);
    ~DesktopRuntime() override;
    DesktopRuntime(const DesktopRuntime&) = delete;
    DesktopRuntime& operator=(const DesktopRuntime&) = delete;

    void showMessage(std::string_view text) override;
    bool askYesNo(std::string_view question) override;
    // In a box whose field shows no character typed; nothing when cancelled.
    std::optional<std::string> askPassword(std::string_view prompt) override;
    Printer& printer() override;

private:
    std::unique_ptr<Printer> m_printer;
};

} // namespace deptest
