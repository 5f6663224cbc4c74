#include "system/Process.h"

#include "system/windows/WideText.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <fcntl.h>
#include <io.h>

namespace deptest {

// Windows reports a file-size limit as a failed write already: nothing to
// set for it.
// Standard output and error carry the program's own line ends: the JSON and
// the name list written there are byte for byte those of other systems.
void prepareProcess()
{
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

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
