#pragma once

namespace deptest {

// A file's last-modification date and time in local time.
struct FileTime {
    int year { 0 };
    int month { 0 };
    int day { 0 };
    int hour { 0 };
    int minute { 0 };
    int second { 0 };

    friend bool operator==(const FileTime&, const FileTime&) = default;
};

} // namespace deptest
