#pragma once

#include <string>
#include <string_view>

namespace deptest {

enum class Button { Test, Print, Exit };
enum class ListBox { Matching, Missing };

// What a test run found of a list's signature before its first entry.
struct ListSignatureNote {
    std::string list; // its file name
    bool checked { false }; // verified by a trusted key; otherwise there was no trusted key to check with
    std::string keyId;
    std::string trustedComment;
};

// What the commands may do with the main window, and nothing more.
class Window {
public:
    virtual ~Window() = default;
    virtual void setEnabled(Button button, bool enabled) = 0;
    virtual void clear(ListBox list) = 0;
    // Adds a line at the end of a list; `detail` says more about it to
    // whoever asks (a tooltip), and is empty when there is nothing more.
    virtual void append(ListBox list, std::string_view line, std::string_view detail) = 0;
    [[nodiscard]] virtual int missingCount() const = 0;
    // Whether chkAppDir is checked: search the application directory only.
    [[nodiscard]] virtual bool appDirOnly() const = 0;
    // Runs Exit as if cmdExit were clicked, even while it is disabled. The
    // caller returns at once afterwards; the program ends when it has.
    virtual void pressExit() = 0;
    // True once the window has been closed or unloaded by Exit.
    [[nodiscard]] virtual bool isUnloaded() const = 0;
    // Shows who signed a list (or that its signature was not checked), so
    // that an old but validly signed list is seen for what it is.
    virtual void noteSignature(const ListSignatureNote& /*note*/) { }
};

// Button gating around a command, always in the order Test, Print, Exit.
inline void setButtonsEnabled(Window& window, bool enabled)
{
    window.setEnabled(Button::Test, enabled);
    window.setEnabled(Button::Print, enabled);
    window.setEnabled(Button::Exit, enabled);
}

} // namespace deptest
