#pragma once

#include "system/Process.h"

#include <QtGlobal>

#include <sys/resource.h>

namespace deptest::test {

// A disk that is full after `bytes` bytes of any one file, for as long as
// this object lives: writes beyond it fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        prepareProcess(); // as the program does when it starts
        if (getrlimit(RLIMIT_FSIZE, &m_saved) != 0)
            qFatal("cannot read the file size limit");
        rlimit limited = m_saved;
        limited.rlim_cur = bytes;
        if (setrlimit(RLIMIT_FSIZE, &limited) != 0)
            qFatal("cannot set the file size limit");
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &m_saved); }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved {};
};

} // namespace deptest::test
