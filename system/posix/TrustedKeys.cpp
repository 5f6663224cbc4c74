#include "system/TrustedKeys.h"

#include "system/posix/OsError.h"

#include <dirent.h>

#include <algorithm>
#include <cerrno>

namespace deptest {

std::string trustedKeyFolder() { return "/etc/deptest/trusted"; }

Result<std::vector<std::string>> keyFileNames(const std::string& folder)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        if (errno == ENOENT)
            return std::vector<std::string> {};
        return errorFromOs(errno);
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name.size() > 4 && name.ends_with(".pub") && name[0] != '.')
            names.push_back(name);
    }
    const int failure = errno;
    ::closedir(listing);
    if (failure != 0)
        return errorFromOs(failure);
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace deptest
