#pragma once

#include <string_view>

// Every fixed text the program shows, exactly as the user sees it.
namespace deptest::message {

inline constexpr std::string_view noMissingFiles = "No missing files to report.";
inline constexpr std::string_view printCouldNotFindOutDll = "Could not find OutDLL.txt";
inline constexpr std::string_view couldNotFindInDll = "Error:  Could not find InDLL.txt.";
inline constexpr std::string_view couldNotFindOutDll = "Error:  Could not find OutDLL.txt.";
inline constexpr std::string_view couldNotFindDlls = "Error:  Could not find DLLs.txt.";
inline constexpr std::string_view generationDuringTest
    = "The reference list was not built: a test is reading it. Press Ctrl+B again when the test has ended.";

// The caption of every message box: the window's own caption.
inline constexpr std::string_view applicationTitle = "Test Dependent Files";

} // namespace deptest::message
