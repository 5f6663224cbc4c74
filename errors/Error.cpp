#include "errors/Error.h"

namespace deptest {

std::string_view standardDescription(std::int32_t number)
{
    switch (number) {
    case error::invalidArgument: return "Invalid procedure call or argument";
    case error::overflow: return "Overflow";
    case error::badFileName: return "Bad file name or number";
    case error::fileNotFound: return "File not found";
    case error::deviceIo: return "Device I/O error";
    case error::diskFull: return "Disk full";
    case error::inputPastEnd: return "Input past end of file";
    case error::tooManyFiles: return "Too many files";
    case error::permissionDenied: return "Permission denied";
    case error::pathFileAccess: return "Path/File access error";
    case error::pathNotFound: return "Path not found";
    case error::printer: return "Printer error";
    default: return "Application-defined or object-defined error";
    }
}

std::string generalErrorMessage(const Error& failure)
{
    const std::int32_t number = failure.number;
    // Widen before negating: the most negative 32-bit number has no positive twin.
    const std::int64_t magnitude = number < 0 ? -std::int64_t { number } : number;
    std::string text = "Error ";
    text += number < 0 ? '-' : ' ';
    text += std::to_string(magnitude);
    text += ": ";
    text += failure.description;
    return text;
}

std::string openFailureMessage(const Error& failure, std::string_view notFoundMessage)
{
    return failure.number == error::fileNotFound ? std::string(notFoundMessage) : generalErrorMessage(failure);
}

} // namespace deptest
