#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace deptest {

class ErrorState;

// One entry of a test run, fresh for each entry so that nothing of the
// previous one leaks into its list line or its exceptions record.
struct Entry {
    std::string name;
    std::string sizeText;
    std::string originalDate;
    std::int64_t originalSize { 0 };
    std::int64_t targetSize { 0 };
    std::string targetDate;
};

enum class Verdict { Matching, NotFound, Mismatch };

// The one place that decides an entry: a pending error means not found;
// otherwise the sizes and the long date texts must both be equal.
inline Verdict judge(const Entry& entry, bool errorPending)
{
    if (errorPending)
        return Verdict::NotFound;
    if (entry.targetDate == entry.originalDate && entry.targetSize == entry.originalSize)
        return Verdict::Matching;
    return Verdict::Mismatch;
}

inline std::string notFoundLine(std::string_view name, std::string_view description)
{
    std::string line(name);
    line += " - Error: ";
    line += description;
    return line;
}

inline std::string mismatchLine(std::string_view name)
{
    std::string line(name);
    line += " - Could not match date/size";
    return line;
}

inline constexpr std::string_view mismatchError = "Bad date or size";

} // namespace deptest
