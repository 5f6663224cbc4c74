// The Windows host on real Windows files (under Wine here): the locator's
// full search through c:\windows\system\, c:\windows\ and the application
// directory, the error numbers of real failures, large files, local dates
// across a daylight-saving change, and whole runs through the model.

#include "dates/Timestamp.h"
#include "errors/Error.h"
#include "generate/ReferenceGeneration.h"
#include "records/DataFiles.h"
#include "services/Files.h"
#include "services/Printer.h"
#include "services/Runtime.h"
#include "services/Window.h"
#include "signing/Signatures.h"
#include "system/CodePages.h"
#include "system/FolderLock.h"
#include "system/TrustedKeys.h"
#include "system/windows/WindowsFiles.h"
#include "tests/fakes/FakeRuntime.h"
#include "tests/fakes/FakeWindow.h"
#include "verify/TestRun.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <vector>

using namespace deptest;
using deptest::test::FakeRuntime;
using deptest::test::FakeWindow;

namespace {

constexpr const char* systemDirectory = "c:\\windows\\system\\";
constexpr const char* windowsDirectory = "c:\\windows\\";

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

// A UTC moment as a Windows file time.
FILETIME utc(WORD year, WORD month, WORD day, WORD hour, WORD minute)
{
    SYSTEMTIME time { year, month, 0, day, hour, minute, 0, 0 };
    FILETIME file {};
    ::SystemTimeToFileTime(&time, &file);
    return file;
}

void makeFile(const std::string& path, std::size_t size, FILETIME modified)
{
    const HANDLE handle
        = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE) << path;
    const std::string bytes(size, 'x');
    DWORD written = 0;
    ::WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    ::SetFileTime(handle, nullptr, nullptr, &modified);
    ::CloseHandle(handle);
}

// The error number of a result; 0 when it succeeded.
template <typename T> int numberOf(const Result<T>& result) { return result ? 0 : result.error().number; }

std::string readText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

// A fresh application directory, and test files in the search directories
// that go again at the end.
class WindowsHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        wchar_t temporary[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH, temporary);
        std::wstring base(temporary);
        std::string name = "deptest-" + std::to_string(::GetCurrentProcessId()) + "-"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-'); // a test with a parameter is named "Name/1"
        application = std::string(base.begin(), base.end()) + name;
        ASSERT_TRUE(::CreateDirectoryW(wide(application).c_str(), nullptr)) << application;
    }
    void TearDown() override
    {
        for (const std::string& file : placed) {
            ::SetFileAttributesW(wide(file).c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileW(wide(file).c_str());
        }
        ::RemoveDirectoryW(wide(application).c_str());
    }
    std::string place(const std::string& directory, const std::string& name, std::size_t size, FILETIME when)
    {
        const std::string path = directory + name;
        makeFile(path, size, when);
        placed.push_back(path);
        return path;
    }
    std::string inApplication(const std::string& name) { return application + "\\" + name; }

    std::string application;
    std::vector<std::string> placed;
    const FILETIME winter = utc(2026, 1, 1, 23, 30);
};

TEST_F(WindowsHost, FullSearchLooksInTheSystemWindowsAndApplicationDirectories)
{
    place(systemDirectory, "deptest-a.dll", 1, winter);
    place(windowsDirectory, "deptest-a.dll", 2, winter);
    place(windowsDirectory, "deptest-b.dll", 2, winter);
    place(application + "\\", "deptest-c.dll", 3, winter);
    placed.push_back(inApplication("indll.txt"));
    writeText(inApplication("indll.txt"),
        "\"deptest-a.dll\",\"1\",\"2026-01-02\"\r\n\"deptest-b.dll\",\"2\",\"2026-01-02\"\r\n"
        "\"deptest-c.dll\",\"3\",\"2026-01-02\"\r\n\"deptest-none.dll\",\"4\",\"x\"\r\n"
        "\"nodir\\deptest-a.dll\",\"1\",\"x\"\r\n");
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    FakeWindow window;
    runTest(window, runtime);
    EXPECT_EQ(window.matching, (std::vector<std::string> { "deptest-a.dll", "deptest-b.dll", "deptest-c.dll" }));
    // A missing directory in the name ends the search where it stands.
    EXPECT_EQ(window.missing,
        (std::vector<std::string> {
            "deptest-none.dll - Error: File not found", "nodir\\deptest-a.dll - Error: Path not found" }));
    EXPECT_TRUE(runtime.messages.empty());
}

TEST_F(WindowsHost, RealFailuresGiveTheProgramsNumbers)
{
    WindowsFiles files;
    EXPECT_EQ(numberOf(files.openForReading(inApplication("none.txt"))), error::fileNotFound);
    EXPECT_EQ(numberOf(files.measure(inApplication("none.txt"))), error::fileNotFound);
    EXPECT_EQ(numberOf(files.openForReading(inApplication("nodir\\none.txt"))), error::pathNotFound);
    EXPECT_EQ(numberOf(files.measure(inApplication("nodir\\none.txt"))), error::pathNotFound);
    EXPECT_EQ(numberOf(files.openForWriting(inApplication("nodir\\new.txt"))), error::pathNotFound);
    EXPECT_EQ(numberOf(files.measure(application)), error::fileNotFound); // a directory is no file
    EXPECT_EQ(numberOf(files.openForReading(std::string("a\0b", 3))), error::badFileName);

    // Held by another without sharing: not permitted now.
    const std::string held = place(application + "\\", "held.txt", 1, winter);
    const HANDLE holder
        = ::CreateFileW(wide(held).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(numberOf(files.openForReading(held)), error::permissionDenied);
    EXPECT_EQ(numberOf(files.openForWriting(held)), error::permissionDenied);
    ::CloseHandle(holder);
}

TEST_F(WindowsHost, ReadOnlyFilesCannotBeWritten)
{
    const std::string readOnly = place(application + "\\", "readonly.txt", 1, winter);
    ASSERT_TRUE(::SetFileAttributesW(wide(readOnly).c_str(), FILE_ATTRIBUTE_READONLY));
    // Wine keeps the attribute as the file's write permission, which root
    // is not held to: scripts/test-windows.sh runs Wine as another user.
    const HANDLE probe = ::CreateFileW(
        wide(readOnly).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << "the file can be written despite its read-only attribute (root?)";
    EXPECT_EQ(numberOf(WindowsFiles().openForWriting(readOnly)), error::permissionDenied);
}

TEST_F(WindowsHost, InvalidNamesAreBadFileNames)
{
    WindowsFiles files;
    const Result<FileMeasurement> measured = files.measure(inApplication("a<b|c.dll"));
    ASSERT_FALSE(measured);
    EXPECT_EQ(measured.error().number, error::badFileName) << measured.error().description;
}

TEST_F(WindowsHost, SizesBeyondFourGigabytes)
{
    const std::string path = inApplication("huge.bin");
    placed.push_back(path);
    const HANDLE handle
        = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD returned = 0;
    ::DeviceIoControl(handle, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end {};
    end.QuadPart = (LONGLONG { 1 } << 32) + 10;
    ASSERT_TRUE(::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN));
    ASSERT_TRUE(::SetEndOfFile(handle));
    ::CloseHandle(handle);
    const Result<FileMeasurement> measured = WindowsFiles().measure(path);
    ASSERT_TRUE(measured);
    EXPECT_EQ(measured->size, (std::int64_t { 1 } << 32) + 10);
}

TEST_F(WindowsHost, LocalDatesFollowTheDaylightSavingRuleOfTheirDay)
{
    // Run with TZ=Europe/Berlin: 23:30 UTC is past midnight in both seasons,
    // by one hour in winter and two in summer.
    const std::string winterFile = place(application + "\\", "winter.dll", 1, winter);
    const std::string summerFile = place(application + "\\", "summer.dll", 1, utc(2026, 7, 1, 22, 30));
    const std::string beforeChange = place(application + "\\", "march.dll", 1, utc(2026, 3, 28, 23, 30));
    WindowsFiles files;
    EXPECT_EQ(files.measure(winterFile)->modified, (FileTime { 2026, 1, 2, 0, 30, 0 }));
    EXPECT_EQ(files.measure(summerFile)->modified, (FileTime { 2026, 7, 2, 0, 30, 0 }));
    EXPECT_EQ(files.measure(beforeChange)->modified, (FileTime { 2026, 3, 29, 0, 30, 0 }));
}

// A moment written in a list falls on the day its file has here, on
// either side of midnight and of a daylight-saving change (TZ=Europe/Berlin).
TEST_F(WindowsHost, TimestampsFallOnTheDayTheirFileHasHere)
{
    struct Row {
        const char* text;
        FILETIME modified;
    };
    const Row rows[] = {
        { "2026-01-01T23:30:00Z", utc(2026, 1, 1, 23, 30) },
        { "2026-01-02T08:30:00+09:00", utc(2026, 1, 1, 23, 30) },
        { "2026-01-01 18:30:00.000000000 -0500", utc(2026, 1, 1, 23, 30) },
        { "Wed, 01 Jul 2026 22:30:00 GMT", utc(2026, 7, 1, 22, 30) },
        { "2026-03-28T23:30:00Z", utc(2026, 3, 28, 23, 30) },
        { "20261025T003000Z", utc(2026, 10, 25, 0, 30) },
    };
    WindowsFiles files;
    for (const Row& row : rows) {
        const std::string file = place(application + "\\", "moment.dll", 1, row.modified);
        IsoReading reading = readIsoTimestamp(row.text);
        if (reading.shape == IsoReading::Shape::Other)
            reading = readRfcTimestamp(row.text);
        ASSERT_EQ(reading.shape, IsoReading::Shape::Read) << row.text;
        const std::optional<FileTime> here = timeHere(reading.timestamp);
        ASSERT_TRUE(here) << row.text;
        EXPECT_EQ(*here, files.measure(file)->modified) << row.text;
    }
}

TEST_F(WindowsHost, GenerationThenTestRunWriteExactFiles)
{
    place(systemDirectory, "deptest-sys.dll", 3, winter);
    place(windowsDirectory, "deptest-win.dll", 22, utc(2026, 7, 1, 22, 30));
    for (const char* file : { "dlls.txt", "indll.txt", "dllerr.txt", "outdll.txt" })
        placed.push_back(inApplication(file));
    writeText(inApplication("dlls.txt"), "deptest-sys.dll\r\ndeptest-win.dll\r\ndeptest-none.dll\r\n");
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    generateReference(runtime);
    EXPECT_TRUE(runtime.messages.empty());
    EXPECT_EQ(readText(inApplication("indll.txt")),
        "\"deptest-sys.dll\",\"3\",\"2026-01-02\"\r\n\"deptest-win.dll\",\"22\",\"2026-07-02\"\r\n");
    EXPECT_EQ(readText(inApplication("dllerr.txt")), "\"deptest-none.dll\"\r\n");

    FakeWindow window;
    runTest(window, runtime);
    EXPECT_EQ(window.matching, (std::vector<std::string> { "deptest-sys.dll", "deptest-win.dll" }));
    const std::string header = std::string(exceptionsHeader) + "\r\n";
    EXPECT_EQ(readText(inApplication("outdll.txt")), header);

    // The file changes on this machine: a mismatch record, exactly.
    place(windowsDirectory, "deptest-win.dll", 23, utc(2026, 7, 1, 22, 30));
    runTest(window, runtime);
    EXPECT_EQ(readText(inApplication("outdll.txt")),
        header + "\"deptest-win.dll\",23,22,\"2026-07-02\",\"2026-07-02\",\"Bad date or size\"\r\n");
}

// With several jobs, lookups and digests go through Windows' own calls
// from several threads at once; what is written is still what a run in
// turn writes, byte for byte.
class WindowsHostInFlight : public WindowsHost, public ::testing::WithParamInterface<int> { };

TEST_P(WindowsHostInFlight, ListsAreThoseOfARunInTurn)
{
    const int jobs = GetParam();
    std::string names;
    for (int i = 0; i < 48; ++i) {
        // In the system, windows and application directories, or nowhere.
        const std::string name = "deptest-flight" + std::to_string(i) + ".dll";
        const std::string directories[] { systemDirectory, windowsDirectory, application + "\\" };
        if (i % 4 != 3)
            place(directories[i % 4], name, static_cast<std::size_t>(i), winter);
        names += name + "\r\n";
    }
    for (const char* file : { "dlls.txt", "indll.txt", "dllerr.txt", "outdll.txt", "indll.sha256" })
        placed.push_back(inApplication(file));
    writeText(inApplication("dlls.txt"), names);
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    const auto lists = [this] {
        std::string bytes;
        for (const char* file : { "indll.txt", "dllerr.txt", "indll.sha256", "outdll.txt" })
            bytes += readText(inApplication(file)) + "|";
        return bytes;
    };
    generateReference(runtime, {}, DigestChoice::Make, {}, 1);
    const std::string generatedInTurn = lists();
    generateReference(runtime, {}, DigestChoice::Make, {}, jobs);
    EXPECT_EQ(lists(), generatedInTurn);
    EXPECT_NE(generatedInTurn.find("deptest-flight3.dll"), std::string::npos);

    // Some files change size, others contents at the same size and time.
    for (int i = 0; i < 48; i += 5) {
        if (i % 4 == 3)
            continue;
        const std::string directories[] { systemDirectory, windowsDirectory, application + "\\" };
        place(directories[i % 4], "deptest-flight" + std::to_string(i) + ".dll", static_cast<std::size_t>(i + (i % 2)),
            winter);
    }
    FakeWindow inTurn;
    runTest(inTurn, runtime, {}, 1);
    const std::string checkedInTurn = lists();
    FakeWindow window;
    runTest(window, runtime, {}, jobs);
    EXPECT_EQ(lists(), checkedInTurn);
    EXPECT_EQ(window.matching, inTurn.matching);
    EXPECT_EQ(window.missing, inTurn.missing);
    EXPECT_EQ(window.missingDetails, inTurn.missingDetails);
    EXPECT_FALSE(inTurn.missing.empty());
    EXPECT_TRUE(runtime.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Jobs, WindowsHostInFlight, ::testing::Values(1, 4, 16));

TEST_F(WindowsHost, ContentsAreComparedThroughTheSystemsCryptography)
{
    const std::string file = place(systemDirectory, "deptest-digest.dll", 3, winter);
    for (const char* list : { "dlls.txt", "indll.txt", "dllerr.txt", "outdll.txt", "indll.sha256" })
        placed.push_back(inApplication(list));
    writeText(inApplication("dlls.txt"), "deptest-digest.dll\r\n");
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    generateReference(runtime, {}, DigestChoice::Make);
    EXPECT_EQ(readText(inApplication("indll.sha256")),
        "cd2eb0837c9b4c962c22d2ff8b5441b7b45805887f051d39bf133b583baf6860  deptest-digest.dll\n");

    // Other bytes, the same size and time: only the contents tell.
    writeText(file, "xyz");
    HANDLE handle = ::CreateFileW(wide(file).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ::SetFileTime(handle, nullptr, nullptr, &winter);
    ::CloseHandle(handle);
    FakeWindow window;
    runTest(window, runtime);
    EXPECT_EQ(window.missing, (std::vector<std::string> { "deptest-digest.dll - Contents differ" }));

    // A device is never read; a removed list is gone.
    EXPECT_EQ(numberOf(files.digest("NUL", {})), error::pathFileAccess);
    EXPECT_FALSE(files.remove(inApplication("indll.sha256")));
    EXPECT_EQ(numberOf(files.measure(inApplication("indll.sha256"))), error::fileNotFound);
    EXPECT_FALSE(files.remove(inApplication("indll.sha256")));
}

// A file written over while it is hashed is never taken for the file the
// list names; one cannot be removed or replaced while it is hashed at all.
TEST_F(WindowsHost, AFileChangedWhileItIsHashedIsNoMatch)
{
    const std::string file = place(application + "\\", "hashed.dll", 3, winter);
    WindowsFiles files;
    bool removed = true;
    const Result<ContentDigest> kept = files.digest(file, [&] {
        removed = ::DeleteFileW(wide(file).c_str()) != 0;
        return true;
    });
    EXPECT_FALSE(removed);
    EXPECT_TRUE(kept);
    const Result<ContentDigest> rewritten = files.digest(file, [&] {
        const HANDLE writer = ::CreateFileW(wide(file).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        const FILETIME later = utc(2026, 6, 1, 12, 0);
        const bool done
            = ::WriteFile(writer, "abc", 3, &written, nullptr) && ::SetFileTime(writer, nullptr, nullptr, &later);
        ::CloseHandle(writer);
        return done;
    });
    ASSERT_FALSE(rewritten);
    EXPECT_EQ(rewritten.error().description, "The file changed while it was read");
}

TEST_F(WindowsHost, AFailedGenerationKeepsTheOldList)
{
    for (const char* file : { "dlls.txt", "indll.txt", "dllerr.txt" })
        placed.push_back(inApplication(file));
    place(systemDirectory, "deptest-sys.dll", 3, winter);
    writeText(inApplication("dlls.txt"), "deptest-sys.dll\r\n");
    writeText(inApplication("indll.txt"), "old\r\n");
    // Another program holds the old list open without letting it be
    // replaced: the new list cannot take its place.
    const HANDLE holder = ::CreateFileW(
        wide(inApplication("indll.txt")).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    generateReference(runtime);
    ::CloseHandle(holder);
    EXPECT_EQ(runtime.messages.size(), 1U);
    EXPECT_EQ(readText(inApplication("indll.txt")), "old\r\n");
    // No temporary file is left behind.
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(wide(application + "\\dpt*.tmp").c_str(), &found);
    EXPECT_EQ(search, INVALID_HANDLE_VALUE);
    if (search != INVALID_HANDLE_VALUE)
        ::FindClose(search);
}

TEST_F(WindowsHost, AReadOnlyReferenceListIsKept)
{
    for (const char* file : { "dlls.txt", "indll.txt" })
        placed.push_back(inApplication(file));
    place(systemDirectory, "deptest-sys.dll", 3, winter);
    writeText(inApplication("dlls.txt"), "deptest-sys.dll\r\n");
    writeText(inApplication("indll.txt"), "kept\r\n");
    ASSERT_TRUE(::SetFileAttributesW(wide(inApplication("indll.txt")).c_str(), FILE_ATTRIBUTE_READONLY));
    WindowsFiles files;
    FakeRuntime runtime(application, files);
    generateReference(runtime);
    EXPECT_EQ(runtime.messages, (std::vector<std::string> { "Error  70: Permission denied" }));
    EXPECT_EQ(readText(inApplication("indll.txt")), "kept\r\n");
    EXPECT_EQ(::GetFileAttributesW(wide(inApplication("dllerr.txt")).c_str()), INVALID_FILE_ATTRIBUTES);
}

// The same faults as the POSIX host's test of replacing: the same numbers.
TEST_F(WindowsHost, AFailedReplacementGivesTheSameNumbersAsOtherSystems)
{
    WindowsFiles files;
    const std::string target = place(application + "\\", "list.txt", 4, winter);
    // Made read-only while the new version was written: it stays.
    Result<std::unique_ptr<OutputFile>> replacing = files.openForReplacing(target);
    ASSERT_TRUE(replacing);
    EXPECT_FALSE((*replacing)->write("new\r\n"));
    ASSERT_TRUE(::SetFileAttributesW(wide(target).c_str(), FILE_ATTRIBUTE_READONLY));
    const Outcome protectedMeanwhile = (*replacing)->close();
    ASSERT_TRUE(protectedMeanwhile);
    EXPECT_EQ(protectedMeanwhile->number, error::permissionDenied);
    EXPECT_EQ(readText(target), "xxxx");
    ASSERT_TRUE(::SetFileAttributesW(wide(target).c_str(), FILE_ATTRIBUTE_NORMAL));
    // Its directory removed before the new version is in place.
    const std::string directory = application + "\\gone";
    ASSERT_TRUE(::CreateDirectoryW(wide(directory).c_str(), nullptr));
    Result<std::unique_ptr<OutputFile>> orphan = files.openForReplacing(directory + "\\list.txt");
    ASSERT_TRUE(orphan);
    EXPECT_FALSE((*orphan)->finish());
    WIN32_FIND_DATAW found {};
    const HANDLE search = ::FindFirstFileW(wide(directory + "\\*.tmp").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    ::FindClose(search);
    const std::wstring temporary = wide(directory + "\\") + found.cFileName;
    ASSERT_TRUE(::DeleteFileW(temporary.c_str()));
    ASSERT_TRUE(::RemoveDirectoryW(wide(directory).c_str()));
    const Outcome vanished = (*orphan)->close();
    ASSERT_TRUE(vanished);
    EXPECT_TRUE(vanished->number == error::fileNotFound || vanished->number == error::pathNotFound) << vanished->number;
}

// Windows' own calls, watched: the flushes, replacements, moves and
// removals of a replacement in their order, each naming its file by its
// name in the application directory ("new" for the new version). A flush
// of the new version fails instead when `flushFails`, as on a failing disk.
class WatchedCalls final : public WindowsCalls {
public:
    WatchedCalls(std::string directory, bool flushFails)
        : m_directory(wide(directory + "\\"))
        , m_flushFails(flushFails)
    {
    }

    void* create(const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition,
        unsigned long flags) override
    {
        void* handle = WindowsCalls::create(path, access, share, disposition, flags);
        if (disposition == TRUNCATE_EXISTING)
            m_temporary = path; // the name Windows made for the new version
        m_names[handle] = nameOf(path);
        return handle;
    }
    bool flush(void* handle) override
    {
        calls.push_back("flush " + m_names[handle]);
        if (m_flushFails && m_names[handle] == "new") {
            ::SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        return WindowsCalls::flush(handle);
    }
    bool replace(const wchar_t* replaced, const wchar_t* replacement, unsigned long flags) override
    {
        calls.push_back("replace " + nameOf(replaced) + " by " + nameOf(replacement));
        return WindowsCalls::replace(replaced, replacement, flags);
    }
    bool move(const wchar_t* from, const wchar_t* to, unsigned long flags) override
    {
        calls.push_back("move " + nameOf(from) + " to " + nameOf(to)
            + ((flags & MOVEFILE_WRITE_THROUGH) != 0 ? ", written through" : ""));
        return WindowsCalls::move(from, to, flags);
    }
    bool remove(const wchar_t* path) override
    {
        calls.push_back("remove " + nameOf(path));
        return WindowsCalls::remove(path);
    }

    std::vector<std::string> calls;

private:
    std::string nameOf(std::wstring path) const
    {
        if (path == m_temporary)
            return "new";
        if (path.starts_with(m_directory))
            path.erase(0, m_directory.size());
        return std::string(path.begin(), path.end());
    }

    std::wstring m_directory;
    bool m_flushFails;
    std::wstring m_temporary;
    std::map<void*, std::string> m_names;
};

// A new list's data reach the disk before it takes the old one's place, or
// the place of none, and a list whose data could not be flushed leaves the
// old one as it was, as on other systems.
TEST_F(WindowsHost, ANewListIsFlushedBeforeItIsPutInPlace)
{
    struct Case {
        const char* before; // the old list, or nothing
        bool flushFails;
        std::vector<std::string> calls;
        int error;
        const char* after;
    };
    const std::vector<Case> cases {
        { "old", false, { "flush new", "replace list.txt by new" }, 0, "new" },
        { nullptr, false, { "flush new", "move new to list.txt, written through" }, 0, "new" },
        { "old", true, { "flush new", "remove new" }, error::deviceIo, "old" },
    };
    const std::string list = inApplication("list.txt");
    placed.push_back(list);
    for (const Case& expected : cases) {
        SCOPED_TRACE(std::string(expected.before != nullptr ? "replacing" : "making")
            + (expected.flushFails ? ", the flush failing" : ""));
        ::DeleteFileW(wide(list).c_str());
        if (expected.before != nullptr)
            writeText(list, expected.before);
        auto watched = std::make_shared<WatchedCalls>(application, expected.flushFails);
        WindowsFiles files(watched);
        Result<std::unique_ptr<OutputFile>> file = files.openForReplacing(list);
        ASSERT_TRUE(file);
        EXPECT_FALSE((*file)->write("new"));
        const Outcome closed = (*file)->close();
        file->reset();
        EXPECT_EQ(closed ? closed->number : 0, expected.error);
        EXPECT_EQ(watched->calls, expected.calls);
        EXPECT_EQ(readText(list), expected.after);
        WIN32_FIND_DATAW found {};
        const HANDLE search = ::FindFirstFileW(wide(application + "\\*.tmp").c_str(), &found);
        EXPECT_EQ(search, INVALID_HANDLE_VALUE) << "a new version was left behind";
        if (search != INVALID_HANDLE_VALUE)
            ::FindClose(search);
    }
}

TEST_F(WindowsHost, ANameInThisMachinesCodePageIsFound)
{
    // A list written on this machine in its code page names the file.
    const std::wstring name = L"caf\u00e9-\u00fcber.dll";
    char bytes[64] {};
    BOOL lossy = FALSE;
    const int length = ::WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, bytes, sizeof bytes, nullptr, &lossy);
    if (length <= 0 || lossy || ::GetACP() == CP_UTF8)
        GTEST_SKIP() << "this machine's code page has no such letters";
    const std::wstring path = wide(application + "\\") + name;
    const HANDLE handle = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(handle, "12345", 5, &written, nullptr);
    ::CloseHandle(handle);
    const Result<FileMeasurement> measured = WindowsFiles().measure(application + "\\" + bytes);
    ::DeleteFileW(path.c_str());
    ASSERT_TRUE(measured) << measured.error().number;
    EXPECT_EQ(measured->size, 5);
}

// What the list reader is refused, and why: 0 and "" when it opened.
std::pair<int, std::string> refusal(const std::string& path)
{
    const Result<std::unique_ptr<InputFile>> opened = WindowsFiles().openForReading(path);
    return opened ? std::pair { 0, std::string() } : std::pair { opened.error().number, opened.error().description };
}

// A list that is no file on a disk is refused at once by what it is: a
// named pipe with a server that never writes (which a plain read would
// wait on for ever), the console, NUL and a directory.
TEST_F(WindowsHost, ListsThatAreNotFilesAreRefusedWithoutWaiting)
{
    const std::string pipeName = "\\\\.\\pipe\\deptest-" + std::to_string(::GetCurrentProcessId());
    const HANDLE server = ::CreateNamedPipeW(
        wide(pipeName).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    ASSERT_NE(server, INVALID_HANDLE_VALUE);
    ::CreateDirectoryW(wide(inApplication("folder")).c_str(), nullptr);
    const std::vector<std::pair<std::string, std::string>> cases {
        { pipeName, "is a device path, not a plain file" },
        { "//./pipe/deptest-" + std::to_string(::GetCurrentProcessId()), "is a device path, not a plain file" },
        { "NUL", "not a plain file" },
        { "CON", "not a plain file" },
        { inApplication("NUL"), "not a plain file" },
        { inApplication("com1.txt"), "not a plain file" },
        { inApplication("folder"), "is a directory, not a plain file" },
    };
    for (const auto& [path, said] : cases) {
        const auto [number, description] = refusal(path);
        EXPECT_EQ(number, error::pathFileAccess) << path;
        EXPECT_NE(description.find(said), std::string::npos) << path << ": " << description;
        EXPECT_EQ(description.rfind(path, 0), 0U) << "the list is named: " << description;
    }
    ::RemoveDirectoryW(wide(inApplication("folder")).c_str());
    ::CloseHandle(server);
}

// The reference list is read twice in a run, once to learn its dates and
// once to check it: the second reading is of the same text, or none.
TEST_F(WindowsHost, AListIsReadAgainOnlyWhileItIsTheSame)
{
    const std::string list = inApplication("indll.txt");
    placed.push_back(list);
    writeText(list, "\"a.dll\",\"1\",\"x\"\r\n");
    Result<std::unique_ptr<InputFile>> opened = WindowsFiles().openForReading(list);
    ASSERT_TRUE(opened);
    char buffer[64] {};
    const auto readAll = [&] {
        const Result<std::size_t> got = (*opened)->read(buffer, sizeof buffer);
        return got ? std::string(buffer, *got) : std::string("failed");
    };
    EXPECT_EQ(readAll(), "\"a.dll\",\"1\",\"x\"\r\n");
    EXPECT_FALSE((*opened)->rewind());
    EXPECT_EQ(readAll(), "\"a.dll\",\"1\",\"x\"\r\n");
    // Written meanwhile: neither read again nor read on.
    const HANDLE writer = ::CreateFileW(wide(list).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ::WriteFile(writer, "more", 4, &written, nullptr);
    ::CloseHandle(writer);
    const Outcome again = (*opened)->rewind();
    ASSERT_TRUE(again);
    EXPECT_EQ(again->description, "The file changed while it was read");
    EXPECT_EQ(readAll(), "failed");
}

// One run at a time per folder: a second try is refused and told whose
// lock it is, and the lock goes with its holder. The hidden new versions
// a killed run left are removed, and nothing else.
TEST_F(WindowsHost, OneRunAtATimePerFolder)
{
    placed.push_back(inApplication("deptest.lock"));
    FolderLock::Attempt first = FolderLock::tryTake(application);
    ASSERT_TRUE(first.lock);
    const FolderLock::Attempt second = FolderLock::tryTake(application);
    EXPECT_FALSE(second.lock);
    EXPECT_TRUE(second.busy);
    EXPECT_EQ(second.holder, static_cast<std::int64_t>(::GetCurrentProcessId()));

    for (const char* name : { "dpt1A2B.tmp", "dptF.tmp", "dptnothex.tmp", "other.tmp", "dpt12345.tmp" })
        place(application + "\\", name, 1, winter);
    const std::string_view names[] { "indll.txt" };
    first.lock->removeLeftovers(names);
    for (const char* name : { "dpt1A2B.tmp", "dptF.tmp" })
        EXPECT_EQ(::GetFileAttributesW(wide(inApplication(name)).c_str()), INVALID_FILE_ATTRIBUTES) << name;
    for (const char* name : { "dptnothex.tmp", "other.tmp", "dpt12345.tmp" })
        EXPECT_NE(::GetFileAttributesW(wide(inApplication(name)).c_str()), INVALID_FILE_ATTRIBUTES) << name;

    first.lock.reset();
    const FolderLock::Attempt after = FolderLock::tryTake(application);
    EXPECT_TRUE(after.lock);
}

} // namespace

// Lists from other machines are shown through Windows' own code pages: the
// same UTF-8 as the C library's converters give elsewhere, and nothing for
// bytes without a character.
TEST(WindowsCodePages, ConvertToUtf8OrRefuse)
{
    deptest::CodePages pages;
    EXPECT_EQ(pages.toUtf8("caf\xe9", 1252), std::optional<std::string>("caf\xc3\xa9"));
    EXPECT_EQ(pages.toUtf8("\x93\xfa\x96\x7b", 932), std::optional<std::string>("\xe6\x97\xa5\xe6\x9c\xac"));
    EXPECT_EQ(pages.toUtf8("", 1251), std::optional<std::string>(""));
    EXPECT_EQ(pages.toUtf8("\x81", 932), std::nullopt);
}

// The trusted folder is %ProgramData%'s, and only its *.pub files are keys;
// a list signed with libsodium's Windows build passes, and forged fails.
TEST_F(WindowsHost, SignedListsAndTheFolderOfTrustedKeys)
{
    EXPECT_TRUE(trustedKeyFolder().ends_with("\\deptest\\trusted")) << trustedKeyFolder();
    EXPECT_EQ(keyFileNames(application + "\\absent")->size(), 0U);
    placed.push_back(inApplication("b.pub"));
    placed.push_back(inApplication("a.pub"));
    placed.push_back(inApplication("a.pubkey"));
    for (const char* name : { "b.pub", "a.pub", "a.pubkey" })
        writeText(inApplication(name), "x");
    EXPECT_EQ(*keyFileNames(application), (std::vector<std::string> { "a.pub", "b.pub" }));

    place(systemDirectory, "deptest-s.dll", 1, winter);
    const std::string list = "\"deptest-s.dll\",\"1\",\"2026-01-02\"\r\n";
    const signing::SecretKey key = signing::newSecretKey();
    for (const char* name : { "indll.txt", "indll.txt.minisig", "outdll.txt" })
        placed.push_back(inApplication(name));
    writeText(inApplication("indll.txt.minisig"), signing::signatureText(signing::sign(key, list, "t", "u")));
    for (const auto& [text, matching] :
        { std::pair { list, 1U }, std::pair { std::string("\"deptest-s.dll\",\"2\",\"2026-01-02\"\r\n"), 0U } }) {
        writeText(inApplication("indll.txt"), text);
        WindowsFiles files;
        FakeRuntime runtime(application, files);
        runtime.trustedKeys.push_back({ "k.pub", signing::publicKeyText(signing::publicKeyOf(key)) });
        FakeWindow window;
        runTest(window, runtime);
        EXPECT_EQ(window.matching.size(), matching);
        EXPECT_EQ(runtime.messages.size(), 1U - matching);
    }
}
