#include "system/WindowsFolders.h"

#include "system/windows/WideText.h"

#include <utility>

#include <windows.h>

namespace deptest {

namespace {

// A folder Windows names through `ask`, ending in a backslash.
template <typename Ask> std::optional<std::string> folderNamed(Ask ask)
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const UINT length = ask(path.data(), static_cast<UINT>(path.size()));
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            if (!path.ends_with(L'\\'))
                path += L'\\';
            return narrow(path);
        }
        path.resize(length);
    }
}

} // namespace

std::optional<WindowsFolders> windowsFolders()
{
    std::optional<std::string> system = folderNamed(::GetSystemDirectoryW);
    std::optional<std::string> windows = folderNamed(::GetWindowsDirectoryW);
    if (!system || !windows)
        return std::nullopt;
    return WindowsFolders { std::move(*system), std::move(*windows) };
}

} // namespace deptest
