#pragma once

#include "errors/Error.h"
#include "services/SystemFiles.h"

#include <memory>
#include <string>
#include <string_view>

namespace deptest {

// Files on Windows, through the wide (...W) functions. Paths are the
// program's own, in UTF-8: the directory literals need no mapping here.
class WindowsFiles final : public SystemFiles {
public:
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override;
    Result<FileMeasurement> measure(std::string_view path) override;
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) override;
    // In WindowsContents.cpp.
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override;
    Outcome remove(std::string_view path) override;
};

// The program's error for a Windows error code.
Error errorFromWindows(unsigned long code);

} // namespace deptest
