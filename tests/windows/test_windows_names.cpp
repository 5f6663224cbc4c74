// The name list on Windows (under Wine here): Windows' own programs and
// DLLs where Windows keeps them, and made programs searched for in the
// loader's order, with KnownDLLs, a 32-bit program's folder, the current
// folder and PATH.

#include "names/DependencyWalker.h"
#include "names/NameList.h"
#include "system/WindowsFolders.h"
#include "tests/names/TestBinaries.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <filesystem>

using namespace deptest;
using namespace deptest::names;
using deptest::test::makeElf;
using deptest::test::makePe;
using deptest::test::writeBinary;

namespace {

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string lowered(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// What a walk found, as "name=path" ("name=" when not found).
std::vector<std::string> found(const ProgramDependencies& walk)
{
    std::vector<std::string> result;
    for (const Dependency& dependency : walk.dependencies)
        result.push_back(dependency.name + "=" + lowered(dependency.path));
    return result;
}

bool has(const std::vector<std::string>& list, const std::string& item)
{
    return std::find(list.begin(), list.end(), item) != list.end();
}

// A fresh application folder; the files a test puts into Windows' own
// folders and the registry value it adds go again at the end.
class WindowsNames : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::optional<WindowsFolders> windowsOwn = windowsFolders();
        ASSERT_TRUE(windowsOwn);
        folders = *windowsOwn;
        wchar_t temporary[MAX_PATH + 1];
        ::GetTempPathW(MAX_PATH, temporary);
        const std::filesystem::path base(temporary);
        application = base.string() + "deptest-names-" + std::to_string(::GetCurrentProcessId()) + "-"
            + ::testing::UnitTest::GetInstance()->current_test_info()->name() + "\\";
        std::filesystem::create_directories(application);
    }
    void TearDown() override
    {
        for (const std::string& file : placed)
            ::DeleteFileW(wide(file).c_str());
        std::error_code ignored;
        std::filesystem::remove_all(application, ignored);
    }
    std::string place(const std::string& folder, const std::string& name, const std::string& bytes)
    {
        writeBinary(folder + name, bytes);
        placed.push_back(folder + name);
        return folder + name;
    }
    NameListOptions options() const { return hostNameListOptions(folders.system, folders.windows, application); }

    WindowsFolders folders;
    std::string application;
    std::vector<std::string> placed;
};

TEST_F(WindowsNames, TheSystemFolderIsSystem32AndHoldsKernel32)
{
    EXPECT_TRUE(lowered(folders.system).ends_with("system32\\")) << folders.system;
    EXPECT_TRUE(std::filesystem::is_regular_file(folders.system + "kernel32.dll")) << folders.system;
}

TEST_F(WindowsNames, WindowsOwnProgramNeedsDllsFoundInSystem32)
{
    // Named in other letter case than Windows writes it.
    const std::string notepad = folders.windows + "NOTEPAD.EXE";
    DependencyWalker walker(options().loader);
    const ProgramDependencies walk = walker.walk(notepad);
    EXPECT_TRUE(walk.problems.empty()) << walk.problems[0].file << ": " << walk.problems[0].why;
    const std::string system = lowered(folders.system);
    const std::vector<std::string> dlls = found(walk);
    for (const char* dll : { "kernel32.dll", "user32.dll", "ntdll.dll" })
        EXPECT_TRUE(has(dlls, std::string(dll) + "=" + system + dll)) << dll;

    const NameListResult list = collectNames({ notepad }, options());
    EXPECT_TRUE(list.unresolved.empty());
    EXPECT_TRUE(list.fileErrors.empty());
    EXPECT_TRUE(has(list.names, "kernel32.dll"));
    EXPECT_TRUE(has(list.names, "user32.dll"));
}

TEST_F(WindowsNames, ApiSetsAreLeftOutWithTheirReason)
{
    const std::string program = place(application, "prog.exe",
        makePe({ { "api-ms-win-core-synch-l1-2-0.dll", "KERNEL32.dll" }, { "ext-ms-win-foo-l1-1-0.dll" } }));
    const NameListResult list = collectNames({ program }, options());
    EXPECT_EQ(list.exitStatus(), 0);
    EXPECT_TRUE(has(list.names, "prog.exe"));
    EXPECT_TRUE(has(list.names, "kernel32.dll"));
    EXPECT_FALSE(has(list.names, "api-ms-win-core-synch-l1-2-0.dll"));
    EXPECT_EQ(list.messages(),
        (std::vector<std::string> {
            "api-ms-win-core-synch-l1-2-0.dll: left out, an API set that Windows maps to DLLs of its own, not a file; "
            "needed by "
                + program,
            "ext-ms-win-foo-l1-1-0.dll: left out, an API set that Windows maps to DLLs of its own, not a file; needed "
            "by "
                + program }));
}

TEST_F(WindowsNames, TheProgramsFolderComesFirstAndMissingDllsAreReported)
{
    const std::string program
        = place(application, "prog.exe", makePe({ .imports = { "user32.dll", "deptest-missing.dll" } }));
    place(application, "User32.dll", makePe({}));
    DependencyWalker walker(options().loader);
    EXPECT_EQ(found(walker.walk(program)),
        (std::vector<std::string> { "user32.dll=" + lowered(application) + "user32.dll", "deptest-missing.dll=" }));

    const NameListResult list = collectNames({ program }, options());
    EXPECT_EQ(list.exitStatus(), 1);
    EXPECT_TRUE(has(list.names, "deptest-missing.dll"));
    // The test's search would measure Windows' own user32.dll instead.
    ASSERT_EQ(list.unlisted.size(), 1U);
    EXPECT_TRUE(list.unlisted[0].why.starts_with("is hidden from the test by another file of its name"));
    EXPECT_TRUE(has(list.messages(), "deptest-missing.dll: not found, needed by " + program));
}

TEST_F(WindowsNames, KnownDllsComeFromTheSystemFolder)
{
    const wchar_t* knownDlls = L"System\\CurrentControlSet\\Control\\Session Manager\\KnownDLLs";
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, knownDlls, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
        ERROR_SUCCESS);
    const std::wstring name = L"DEPTEST-KNOWN.DLL";
    ::RegSetValueExW(key, L"deptest-known", 0, REG_SZ, reinterpret_cast<const BYTE*>(name.c_str()),
        static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
    place(folders.system, "deptest-known.dll", makePe({}));
    place(application, "deptest-known.dll", makePe({}));
    const std::string program = place(application, "prog.exe", makePe({ .imports = { "deptest-known.dll" } }));
    DependencyWalker walker(options().loader);
    const ProgramDependencies walk = walker.walk(program);
    ::RegDeleteValueW(key, L"deptest-known");
    ::RegCloseKey(key);
    EXPECT_EQ(found(walk),
        (std::vector<std::string> { "deptest-known.dll=" + lowered(folders.system) + "deptest-known.dll" }));
}

TEST_F(WindowsNames, AThirtyTwoBitProgramsSystemFolderIsSysWow64)
{
    const std::string sysWow64 = folders.windows + "syswow64\\";
    ASSERT_TRUE(std::filesystem::is_directory(sysWow64));
    place(folders.system, "deptest-wow.dll", makePe({}));
    place(sysWow64, "deptest-wow.dll", makePe({}));
    const std::string program32
        = place(application, "prog32.exe", makePe({ .imports = { "deptest-wow.dll" }, .is32Bit = true }));
    const std::string program64 = place(application, "prog64.exe", makePe({ .imports = { "deptest-wow.dll" } }));
    DependencyWalker walker(options().loader);
    EXPECT_EQ(found(walker.walk(program32)),
        (std::vector<std::string> { "deptest-wow.dll=" + lowered(sysWow64) + "deptest-wow.dll" }));
    EXPECT_EQ(found(walker.walk(program64)),
        (std::vector<std::string> { "deptest-wow.dll=" + lowered(folders.system) + "deptest-wow.dll" }));
    // Listed by its folder under the Windows folder, where the test finds it.
    const NameListResult list = collectNames({ program32 }, options());
    EXPECT_TRUE(has(list.names, "syswow64\\deptest-wow.dll")) << ::testing::PrintToString(list.names);
}

TEST_F(WindowsNames, TheCurrentFolderThenPathAreSearchedLast)
{
    const std::string current = application + "current\\";
    const std::string onPath = application + "on path\\";
    place(current, "deptest-both.dll", makePe({}));
    place(onPath, "deptest-both.dll", makePe({}));
    place(onPath, "deptest-path.dll", makePe({}));
    const std::string program
        = place(application + "bin\\", "prog.exe", makePe({ .imports = { "deptest-both.dll", "deptest-path.dll" } }));
    wchar_t previousFolder[MAX_PATH + 1] {};
    ::GetCurrentDirectoryW(MAX_PATH, previousFolder);
    const DWORD pathSize = ::GetEnvironmentVariableW(L"PATH", nullptr, 0);
    std::wstring previousPath(pathSize, L'\0');
    ::GetEnvironmentVariableW(L"PATH", previousPath.data(), pathSize);
    previousPath.resize(pathSize > 0 ? pathSize - 1 : 0);
    ::SetCurrentDirectoryW(wide(current).c_str());
    ::SetEnvironmentVariableW(L"PATH", (previousPath + L";;" + wide(onPath)).c_str());
    DependencyWalker walker(options().loader);
    ::SetEnvironmentVariableW(L"PATH", previousPath.c_str());
    ::SetCurrentDirectoryW(previousFolder);
    EXPECT_EQ(found(walker.walk(program)),
        (std::vector<std::string> { "deptest-both.dll=" + lowered(current) + "deptest-both.dll",
            "deptest-path.dll=" + lowered(onPath) + "deptest-path.dll" }));
}

TEST_F(WindowsNames, FilesThatAreNoWindowsProgramsAreRefused)
{
    const std::string elf = place(application, "linux-program", makeElf({}));
    const std::string missing = application + "none.exe";
    const NameListResult list = collectNames({ elf, application, missing }, options());
    EXPECT_EQ(list.exitStatus(), 2);
    ASSERT_EQ(list.fileErrors.size(), 3U);
    EXPECT_EQ(list.fileErrors[0].why, "is an ELF program, which this system does not read");
    EXPECT_EQ(list.fileErrors[1].why, "is a directory");
    // Windows' own words for a missing file.
    EXPECT_FALSE(list.fileErrors[2].why.empty());
}

} // namespace
