#include "system/TrustedKeys.h"

#include "system/windows/OsError.h"
#include "system/windows/WideText.h"

#include <windows.h>

#include <algorithm>

namespace deptest {

std::string trustedKeyFolder()
{
    // %ProgramData% as the system sets it; its usual place where it is unset.
    wchar_t buffer[MAX_PATH] {};
    const DWORD length = ::GetEnvironmentVariableW(L"ProgramData", buffer, MAX_PATH);
    const std::string programData = length > 0 && length < MAX_PATH ? narrow(buffer) : std::string("C:\\ProgramData");
    return programData + "\\deptest\\trusted";
}

Result<std::vector<std::string>> keyFileNames(const std::string& folder)
{
    const std::wstring pattern = wide(folder) + L"\\*.pub";
    WIN32_FIND_DATAW found {};
    const HANDLE search
        = ::FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) {
        const DWORD code = ::GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND)
            return std::vector<std::string> {};
        return errorFromWindows(code);
    }
    std::vector<std::string> names;
    do {
        // The pattern also finds names whose extension only begins with "pub".
        const std::string name = narrow(found.cFileName);
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && name.size() > 4 && name.ends_with(".pub"))
            names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace deptest
