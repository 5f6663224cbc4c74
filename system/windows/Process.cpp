#include "system/Process.h"

#include "system/windows/WideText.h"

#include <windows.h>

#include <shellapi.h>

namespace deptest {

// Windows reports a file-size limit as a failed write already.
void prepareProcess() { }

std::vector<std::string> commandLineArguments(int argc, char* argv[])
{
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr || count != argc) {
        ::LocalFree(wide);
        return { argv, argv + argc };
    }
    std::vector<std::string> arguments;
    arguments.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        arguments.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return arguments;
}

} // namespace deptest
