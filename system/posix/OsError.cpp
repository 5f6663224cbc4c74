#include "system/posix/OsError.h"

#include <cerrno>
#include <cstring>

namespace deptest {

Error errorFromOs(int osError)
{
    switch (osError) {
    case ENOENT: return Error::of(error::fileNotFound);
    case ENOTDIR: return Error::of(error::pathNotFound);
    case EACCES:
    case EPERM:
    case EROFS: // a write-protected disk, as the familiar text has always covered
        return Error::of(error::permissionDenied);
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP: return Error::of(error::pathFileAccess);
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return Error::of(error::diskFull);
    case EIO: return Error::of(error::deviceIo);
    case EMFILE:
    case ENFILE: return Error::of(error::tooManyFiles);
    default: return { error::pathFileAccess, std::strerror(osError) };
    }
}

} // namespace deptest
