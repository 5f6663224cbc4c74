#include "system/LoadedFrom.h"

#include <filesystem>
#include <system_error>

#include <dlfcn.h>
#include <gnu/libc-version.h>

namespace deptest {

std::optional<std::string> cLibraryFile()
{
    // The loader knows which file it mapped the C library from. A program
    // built without position independence may see its own stub at the
    // function's address: only a C library counts.
    Dl_info info {};
    if (::dladdr(reinterpret_cast<void*>(&::gnu_get_libc_version), &info) == 0 || info.dli_fname == nullptr
        || !std::filesystem::path(info.dli_fname).filename().string().starts_with("libc."))
        return std::nullopt;
    return std::string(info.dli_fname);
}

std::optional<std::string> executableDirectory()
{
    std::error_code failure;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", failure);
    if (failure)
        return std::nullopt;
    return executable.parent_path().string();
}

ModuleEntry loadModuleEntry(const std::string& path, const char* symbol)
{
    void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    void* entry = module != nullptr ? ::dlsym(module, symbol) : nullptr;
    if (entry != nullptr)
        return { entry, {} };
    const char* reason = ::dlerror();
    return { nullptr, reason != nullptr ? reason : path };
}

} // namespace deptest
