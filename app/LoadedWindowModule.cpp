#include "app/WindowModule.h"

#include "system/LoadedFrom.h"

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace deptest {

// From lib/ beside the executable, where the file search never looks.
const WindowModule* windowModule()
{
    static const WindowModule* loaded = []() -> const WindowModule* {
        const std::optional<std::string> directory = executableDirectory();
        const std::string path
            = (std::filesystem::path(directory.value_or(std::string())) / "lib" / DEPTEST_WINDOW_MODULE).string();
        const ModuleEntry module = directory ? loadModuleEntry(path, "deptestWindowModule")
                                             : ModuleEntry { nullptr, "the executable's directory is not known" };
        if (module.entry == nullptr) {
            std::fprintf(stderr, "deptest: the window system cannot be used: %s\n", module.reason.c_str());
            return nullptr;
        }
        using Entry = const WindowModule* (*)();
        return reinterpret_cast<Entry>(module.entry)();
    }();
    return loaded;
}

const char* missingDisplay()
{
    const auto unset = [](const char* name) {
        const char* value = std::getenv(name);
        return value == nullptr || *value == '\0';
    };
    if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY"))
        return "no display for the window (DISPLAY and WAYLAND_DISPLAY are not set)";
    return nullptr;
}

void preparePrintingWithoutWindow()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // A session without a runtime directory (root over su, a cron job): a
    // private one for this run, where Qt would warn and pick one in /tmp.
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        static const QTemporaryDir runtimeDirectory;
        if (runtimeDirectory.isValid())
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtimeDirectory.path()));
    }
}

} // namespace deptest
