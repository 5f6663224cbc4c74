#include "platform/OsError.h"

#include "errors/ErrorState.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

namespace deptest {

namespace {

// A search misses in the same two directories for entry after entry, so
// whether a directory exists is remembered for a moment instead of being
// asked again for every missing file. The program runs on one thread.
bool parentDirectoryExists(std::string_view hostPath)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto memoryTime = std::chrono::milliseconds(100);
    struct Answer {
        std::string directory;
        bool exists;
        Clock::time_point asked;
    };
    static std::array<Answer, 4> answers;
    static std::size_t next = 0;

    const std::filesystem::path parentPath = std::filesystem::path(hostPath).parent_path();
    const std::string parent = parentPath.empty() ? std::string(".") : parentPath.string();
    const auto now = Clock::now();
    for (const Answer& answer : answers) {
        if (answer.directory == parent && now - answer.asked < memoryTime)
            return answer.exists;
    }
    std::error_code ignored;
    const bool exists = std::filesystem::is_directory(parent, ignored);
    answers[next] = { parent, exists, now };
    next = (next + 1) % answers.size();
    return exists;
}

} // namespace

void raiseOsError(int osError, std::string_view hostPath, ErrorState& state)
{
    switch (osError) {
    case ENOENT: state.raise(parentDirectoryExists(hostPath) ? error::fileNotFound : error::pathNotFound); return;
    case ENOTDIR: state.raise(error::pathNotFound); return;
    case EACCES:
    case EPERM:
    case EROFS: // a write-protected disk, as the familiar text has always covered
        state.raise(error::permissionDenied);
        return;
    case EISDIR:
    case ENAMETOOLONG:
    case ELOOP: state.raise(error::pathFileAccess); return;
    case ENOSPC:
    case EFBIG:
#ifdef EDQUOT
    case EDQUOT:
#endif
        state.raise(error::diskFull);
        return;
    case EIO: state.raise(error::deviceIo); return;
    case EMFILE:
    case ENFILE: state.raise(error::tooManyFiles); return;
    default: state.raise(error::pathFileAccess, std::strerror(osError)); return;
    }
}

} // namespace deptest
