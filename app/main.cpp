#include "app/WindowModule.h"
#include "cli/CommandLine.h"
#include "services/Printer.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#ifdef DEPTEST_WINDOW_MODULE
#include <filesystem>
#include <string>
#include <system_error>

#include <dlfcn.h>
#endif

namespace {

#ifdef DEPTEST_WINDOW_MODULE
// The window module, from lib/ beside the executable (where the file
// search never looks); null, with the reason on standard error, when it
// cannot be loaded.
const deptest::WindowModule* windowModule()
{
    static const deptest::WindowModule* loaded = []() -> const deptest::WindowModule* {
        std::error_code failure;
        const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", failure);
        const std::string path = (executable.parent_path() / "lib" / DEPTEST_WINDOW_MODULE).string();
        void* module = failure ? nullptr : ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        using Entry = const deptest::WindowModule* (*)();
        const auto entry
            = module != nullptr ? reinterpret_cast<Entry>(::dlsym(module, "deptestWindowModule")) : nullptr;
        if (entry == nullptr) {
            const char* reason = failure ? "the executable's directory is not known" : ::dlerror();
            std::fprintf(
                stderr, "deptest: the window system cannot be used: %s\n", reason != nullptr ? reason : path.c_str());
            return nullptr;
        }
        return entry();
    }();
    return loaded;
}
#else
const deptest::WindowModule* windowModule() { return deptestWindowModule(); }
#endif

} // namespace

int main(int argc, char* argv[])
{
    if (argc <= 1) {
#ifdef DEPTEST_WINDOW_MODULE
        // Without a display and without a platform chosen, Qt would abort
        // while it looks for one: say so, and what works without one.
        const auto unset = [](const char* name) {
            const char* value = std::getenv(name);
            return value == nullptr || *value == '\0';
        };
        if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
            std::fputs("deptest: no display for the window (DISPLAY and WAYLAND_DISPLAY are not set); from a shell, "
                       "use deptest --test, --generate, --print or --names-of (see deptest --help)\n",
                stderr);
            return deptest::cli::exitStatus::failure;
        }
#endif
        const deptest::WindowModule* module = windowModule();
        return module != nullptr ? module->runWindow(argc, argv) : deptest::cli::exitStatus::failure;
    }
    const deptest::cli::PrintSupport printing {
        [](int& count, char** arguments) {
            const deptest::WindowModule* module = windowModule();
            return module != nullptr ? module->makePrintingApplication(count, arguments) : nullptr;
        },
        [] {
            const deptest::WindowModule* module = windowModule();
            return module != nullptr ? module->makePrinter() : nullptr;
        },
    };
    return deptest::cli::runCommandLine(argc, argv, printing);
}
