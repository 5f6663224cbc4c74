#include "platform/OsError.h"

#include "errors/ErrorState.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace deptest {

namespace {

bool parentDirectoryExists(std::string_view hostPath)
{
    std::filesystem::path parent = std::filesystem::path(hostPath).parent_path();
    if (parent.empty())
        parent = ".";
    std::error_code ignored;
    return std::filesystem::is_directory(parent, ignored);
}

} // namespace

void raiseOsError(int osError, std::string_view hostPath, ErrorState& state)
{
    switch (osError) {
    case ENOENT:
        state.raise(parentDirectoryExists(hostPath) ? error::fileNotFound : error::pathNotFound);
        return;
    case ENOTDIR:
        state.raise(error::pathNotFound);
        return;
    case EACCES:
    case EPERM:
        state.raise(error::permissionDenied);
        return;
    case EISDIR:
    case EROFS:
    case ENAMETOOLONG:
    case ELOOP:
        state.raise(error::pathFileAccess);
        return;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        state.raise(error::diskFull);
        return;
    case EIO:
        state.raise(error::deviceIo);
        return;
    case EMFILE:
    case ENFILE:
        state.raise(error::tooManyFiles);
        return;
    default:
        state.raise(error::pathFileAccess, std::strerror(osError));
        return;
    }
}

} // namespace deptest
