#pragma once

#include "errors/Error.h"
#include "services/SystemFiles.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace deptest {

// The calls that write a file and put it in its place, each answering as
// the Windows function it names does (false, or no handle, and the thread's
// last error on failure). Handles are HANDLEs and flags DWORDs, kept out of
// this header. The files are given Windows' own, or calls that watch them:
// the order of the flush and the replacement is what lets a replaced list
// survive a power cut, and nothing outside the calls shows it.
class WindowsCalls {
public:
    WindowsCalls() = default;
    virtual ~WindowsCalls() = default;
    WindowsCalls(const WindowsCalls&) = delete;
    WindowsCalls& operator=(const WindowsCalls&) = delete;

    // CreateFileW(), with no security attributes and no template.
    virtual void* create(
        const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition, unsigned long flags);
    virtual bool write(void* handle, const char* bytes, unsigned long size, unsigned long& written);
    // SetFilePointerEx() to `size`, then SetEndOfFile().
    virtual bool truncate(void* handle, std::uint64_t size);
    virtual bool flush(void* handle); // FlushFileBuffers()
    virtual bool close(void* handle);
    // ReplaceFileW(), without a backup.
    virtual bool replace(const wchar_t* replaced, const wchar_t* replacement, unsigned long flags);
    virtual bool move(const wchar_t* from, const wchar_t* to, unsigned long flags); // MoveFileExW()
    virtual bool remove(const wchar_t* path); // DeleteFileW()
};

// Files on Windows, through the wide (...W) functions. Paths are the
// program's own, in UTF-8: the directory literals need no mapping here.
class WindowsFiles final : public SystemFiles {
public:
    WindowsFiles();
    explicit WindowsFiles(std::shared_ptr<WindowsCalls> calls);

    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override;
    Result<FileMeasurement> measure(std::string_view path) override;
    Result<FileMeasurement> measureIn(const std::string& directory, std::string_view relative) override;
    // In WindowsContents.cpp.
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override;
    Outcome remove(std::string_view path) override;

private:
    std::shared_ptr<WindowsCalls> m_calls; // those of writing files
};

} // namespace deptest
