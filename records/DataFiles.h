#pragma once

#include <string>
#include <string_view>

namespace deptest {

// The four data files, each named by a literal appended to the
// application directory.
namespace dataFile {
inline constexpr std::string_view nameList = "\\dlls.txt";
inline constexpr std::string_view referenceList = "\\indll.txt";
inline constexpr std::string_view exceptions = "\\outdll.txt";
inline constexpr std::string_view notFoundList = "\\dllerr.txt";
} // namespace dataFile

// The exceptions file's first line, describing its six-field records.
inline constexpr std::string_view exceptionsHeader
    = "Format: Filename, Size of file on target, size of original file, date of target file, date of original, error";

inline std::string dataFilePath(std::string_view applicationDirectory, std::string_view literal)
{
    std::string path(applicationDirectory);
    path.append(literal);
    return path;
}

} // namespace deptest
