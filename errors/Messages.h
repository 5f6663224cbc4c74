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

// The faults of the system's files (system/FileFaults.h), in the same words
// on every system.
namespace deptest::message {

// A file read for a list or a digest, written meanwhile.
inline constexpr std::string_view fileChangedWhileRead = "The file changed while it was read";
// A list that is not a plain file: its path, " is ", what it is, then this.
inline constexpr std::string_view notPlainFileEnding = ", not a plain file";
inline constexpr std::string_view aDirectory = "a directory";
// A list that gives more bytes than its size says: its path, then this.
inline constexpr std::string_view moreBytesThanItsSize = " gives more bytes than its size says: it is not a plain file";
// A file's contents that cannot be digested.
inline constexpr std::string_view notRegularForDigest = "Not a regular file: its contents cannot be compared";
inline constexpr std::string_view stoppedOnRequest = "Stopped on request";
inline constexpr std::string_view digestNotComputed = "The digest could not be computed";
// A program file the name list cannot read: the reason after its name.
inline constexpr std::string_view binaryIsDirectory = "is a directory";
inline constexpr std::string_view binaryNotRegular = "is not a regular file";
inline constexpr std::string_view binaryIsEmpty = "is empty";
inline constexpr std::string_view binaryTooLarge = "is too large";
inline constexpr std::string_view binaryCutShort = "was cut short while it was read";

} // namespace deptest::message
