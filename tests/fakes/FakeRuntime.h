#pragma once

#include "services/Runtime.h"
#include "services/SystemFiles.h"
#include "tests/fakes/RecordingPrinter.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace deptest::test {

// The runtime over any system's files (files in memory, or a real host's)
// with paths passed on as they are, dates as ISO text ("2026-12-07"),
// messages recorded instead of shown and a recording printer unless the
// test sets another.
class FakeRuntime : public Runtime {
public:
    FakeRuntime(std::string applicationDirectory, SystemFiles& files);

    [[nodiscard]] const std::string& applicationDirectory() const override { return m_applicationDirectory; }
    [[nodiscard]] std::string displayPath(std::string_view path) const override { return std::string(path); }
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override;
    Result<FileMeasurement> measure(std::string_view path) override;
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override
    {
        ++digestsComputed;
        return m_files.digest(path, betweenBlocks);
    }
    Outcome remove(std::string_view path) override { return m_files.remove(path); }
    // Refused while `listsInUse` says another run has them.
    Result<std::unique_ptr<ListsLock>> lockLists() override
    {
        if (listsInUse)
            return Error { error::permissionDenied, "The lists are in use by another run" };
        ++locksTaken;
        return std::make_unique<ListsLock>();
    }
    Result<std::vector<KeyFileText>> trustedKeyFiles() override
    {
        if (trustedKeysFailure)
            return *trustedKeysFailure;
        return trustedKeys;
    }
    Outcome formatLongDate(const FileTime& time, std::string& text) override;
    const std::string& listDateAsLongDate(std::string_view dateText) override { return m_lastDate.assign(dateText); }
    void startList(std::span<const std::string> dateTexts) override
    {
        listsStarted.emplace_back(dateTexts.begin(), dateTexts.end());
    }
    [[nodiscard]] int displayCodePage() const override { return 1252; }
    void showMessage(std::string_view text) override { messages.emplace_back(text); }
    void processEvents() override;
    Printer& printer() override { return *m_printer; }
    void setPrinter(std::unique_ptr<Printer> printer) { m_printer = std::move(printer); }

    std::vector<std::string> messages;
    // The date texts of each list a command started.
    std::vector<std::vector<std::string>> listsStarted;
    // Called on every event processing.
    std::function<void()> onProcessEvents;
    int eventRounds { 0 };
    std::atomic<int> digestsComputed { 0 };
    bool listsInUse { false };
    std::vector<KeyFileText> trustedKeys;
    Outcome trustedKeysFailure;
    int locksTaken { 0 };

private:
    std::string m_applicationDirectory;
    SystemFiles& m_files;
    std::string m_lastDate;
    std::unique_ptr<Printer> m_printer = std::make_unique<RecordingPrinter>();
};

// ASCII text as UTF-16 with its byte-order mark, as Windows PowerShell
// and Notepad save a list.
inline std::string utf16Text(std::string_view ascii, bool littleEndian)
{
    std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    for (const char c : ascii) {
        out += littleEndian ? c : '\0';
        out += littleEndian ? '\0' : c;
    }
    return out;
}

// The exceptions file's first line as written, with its line end.
inline std::string exceptionsHeaderLine()
{
    return "Format: Filename, Size of file on target, size of original file, date of target file, date of original, "
           "error\r\n";
}

// `count` mismatch records of the exceptions file, name0.so onwards.
inline std::string mismatchRecords(int count)
{
    std::string records;
    for (int i = 0; i < count; ++i)
        records += "\"name" + std::to_string(i) + ".so\"," + std::to_string(i)
            + ",7,\"Monday, December 7, 2026\",\"x\",\"Bad date or size\"\r\n";
    return records;
}

} // namespace deptest::test
