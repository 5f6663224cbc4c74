#pragma once

#include <optional>
#include <string>
#include <vector>

namespace deptest {

// Where Windows' loader looks for the DLLs of a desktop application on
// this machine, besides the application's folder, the system folder and
// the Windows folder (windowsFolders()). Nothing off Windows. Folders end
// in a backslash.
struct DllSearchPlaces {
    // The names KnownDLLs holds (the registry's
    // HKLM\System\CurrentControlSet\Control\Session Manager\KnownDLLs):
    // Windows loads these from its system folder, whatever another folder
    // holds.
    std::vector<std::string> knownDlls;
    // The system folder of 32-bit programs on 64-bit Windows (SysWOW64,
    // GetSystemWow64DirectoryW); empty where they have no folder of their own.
    std::string system32Bit;
    // The current folder and PATH's folders, searched last, in this order.
    std::vector<std::string> lastFolders;
};
std::optional<DllSearchPlaces> dllSearchPlaces();

} // namespace deptest
