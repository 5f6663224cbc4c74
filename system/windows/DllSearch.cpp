#include "system/DllSearch.h"

#include "system/windows/WideText.h"

#include <windows.h>

#include <algorithm>

namespace deptest {

namespace {

std::string asFolder(std::wstring folder)
{
    if (!folder.ends_with(L'\\') && !folder.ends_with(L'/'))
        folder += L'\\';
    return narrow(folder);
}

// The DLL names KnownDLLs holds. Its values DllDirectory and
// DllDirectory32 name folders, not DLLs: a value with a folder in it is
// passed over.
std::vector<std::string> knownDlls()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs", 0,
            KEY_QUERY_VALUE, &key)
        != ERROR_SUCCESS)
        return {};
    std::vector<std::string> names;
    // A value name has at most 16,383 characters; a DLL's name fits a path.
    std::wstring valueName(16384, L'\0');
    std::wstring data(MAX_PATH + 1, L'\0');
    for (DWORD index = 0;; ++index) {
        auto nameLength = static_cast<DWORD>(valueName.size());
        auto dataBytes = static_cast<DWORD>(data.size() * sizeof(wchar_t));
        DWORD type = 0;
        const LSTATUS status = ::RegEnumValueW(key, index, valueName.data(), &nameLength, nullptr, &type,
            reinterpret_cast<BYTE*>(data.data()), &dataBytes);
        if (status == ERROR_MORE_DATA)
            continue; // longer than any DLL's name
        if (status != ERROR_SUCCESS)
            break;
        std::wstring name(data.data(), dataBytes / sizeof(wchar_t));
        while (!name.empty() && name.back() == L'\0')
            name.pop_back();
        if (type == REG_SZ && !name.empty() && name.find_first_of(L"\\/") == std::wstring::npos)
            names.push_back(narrow(name));
    }
    ::RegCloseKey(key);
    return names;
}

std::optional<std::wstring> systemWow64Folder()
{
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = ::GetSystemWow64DirectoryW(path.data(), static_cast<UINT>(path.size()));
    if (length == 0 || length >= path.size())
        return std::nullopt; // 32-bit Windows has none
    path.resize(length);
    return path;
}

std::optional<std::wstring> currentFolder()
{
    const DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    const DWORD length = size == 0 ? 0 : ::GetCurrentDirectoryW(size, path.data());
    if (length == 0 || length >= size)
        return std::nullopt;
    path.resize(length);
    return path;
}

// PATH's folders in their order; empty entries name none.
std::vector<std::string> pathFolders()
{
    const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring path(size, L'\0');
    const DWORD length = size == 0 ? 0 : ::GetEnvironmentVariableW(L"PATH", path.data(), size);
    path.resize(length < size ? length : 0);
    std::vector<std::string> folders;
    std::size_t start = 0;
    while (start < path.size()) {
        const std::size_t end = std::min(path.find(L';', start), path.size());
        if (end > start)
            folders.push_back(asFolder(path.substr(start, end - start)));
        start = end + 1;
    }
    return folders;
}

} // namespace

std::optional<DllSearchPlaces> dllSearchPlaces()
{
    DllSearchPlaces places;
    places.knownDlls = knownDlls();
    if (std::optional<std::wstring> folder = systemWow64Folder())
        places.system32Bit = asFolder(std::move(*folder));
    if (std::optional<std::wstring> folder = currentFolder())
        places.lastFolders.push_back(asFolder(std::move(*folder)));
    for (std::string& folder : pathFolders())
        places.lastFolders.push_back(std::move(folder));
    return places;
}

} // namespace deptest
