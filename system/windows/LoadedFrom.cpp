#include "system/LoadedFrom.h"

#include "system/windows/WideText.h"

#include <filesystem>

#include <windows.h>

namespace deptest {

std::optional<std::string> cLibraryFile() { return std::nullopt; }

std::optional<std::string> executableDirectory()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::nullopt;
        if (length < path.size()) {
            path.resize(length);
            return narrow(std::filesystem::path(path).parent_path().native());
        }
        path.resize(path.size() * 2);
    }
}

ModuleEntry loadModuleEntry(const std::string& path, const char* symbol)
{
    const HMODULE module = ::LoadLibraryW(std::filesystem::path(path).wstring().c_str());
    FARPROC entry = module != nullptr ? ::GetProcAddress(module, symbol) : nullptr;
    if (entry != nullptr)
        return { reinterpret_cast<void*>(entry), {} };
    return { nullptr, "Windows error " + std::to_string(::GetLastError()) + " loading " + path };
}

} // namespace deptest
