#pragma once

#include <string>
#include <string_view>

// The fixed texts the program shows in its messages, exactly as the user
// sees them: message boxes, the lines a command writes to standard error,
// and the reasons in the exceptions file. Texts made around a name or a
// number are made here too, from what they are given. The help of the
// command line stays with its options, and a parser's reasons for refusing
// a file with the check that refuses it.
namespace deptest::message {

// The caption of every message box: the window's own caption.
inline constexpr std::string_view applicationTitle = "Test Dependent Files";

// A list that cannot be opened, or a report with nothing in it.
inline constexpr std::string_view noMissingFiles = "No missing files to report.";
inline constexpr std::string_view printCouldNotFindOutDll = "Could not find OutDLL.txt";
inline constexpr std::string_view couldNotFindInDll = "Error:  Could not find InDLL.txt.";
inline constexpr std::string_view couldNotFindOutDll = "Error:  Could not find OutDLL.txt.";
inline constexpr std::string_view couldNotFindDlls = "Error:  Could not find DLLs.txt.";
inline constexpr std::string_view generationDuringTest
    = "The reference list was not built: a test is reading it. Press Ctrl+B again when the test has ended.";

// Why an entry is not matched, in the exceptions file.
inline constexpr std::string_view dateSizeNotMatched = " - Could not match date/size";
inline constexpr std::string_view contentsDiffer = "Contents differ";
inline constexpr std::string_view noUsableDigest = "No usable digest: ";

// A test run that gives no verdict, or compares no contents.
inline constexpr std::string_view listsNotChecked = "The lists were not checked: ";
inline std::string digestListUnread(std::string_view digestList)
{
    return std::string(digestList).append(" could not be read, so no contents were compared: ");
}

// Signatures: who signed a list, and a list that is refused.
inline std::string signedBy(std::string_view list, std::string_view keyId, std::string_view comment)
{
    return std::string(list).append(": signed by key ").append(keyId).append(", trusted comment: ").append(comment);
}
// In the window's caption, where the list's name comes first.
inline std::string signedByInCaption(std::string_view list, std::string_view keyId, std::string_view comment)
{
    return std::string(list).append(" signed by key ").append(keyId).append(" (").append(comment).append(")");
}
inline std::string signatureNotChecked(std::string_view list)
{
    return std::string(list).append(": signature not checked: no trusted key");
}
inline std::string signatureNotCheckedInCaption(std::string_view list)
{
    return std::string(list).append(": signature not checked, no trusted key");
}
inline std::string listRefused(std::string_view list, std::string_view why)
{
    return std::string(list).append(" is refused: ").append(why);
}
inline std::string signatureUnreadable(std::string_view signature, std::string_view why)
{
    return std::string(signature).append(" cannot be read: ").append(why);
}
inline constexpr std::string_view largerThanSuchAFile = "it is larger than such a file can be";

// Generation: the signing key, and a signature removed with the old lists.
inline constexpr std::string_view referenceListNotBuilt = "The reference list was not built: ";
inline std::string passwordPrompt(std::string_view keyFile)
{
    return std::string("Password for ").append(keyFile).append(": ");
}
inline std::string noPasswordGiven(std::string_view keyFile)
{
    return std::string(keyFile).append(": no password was given for it");
}
inline std::string unsignedListRemovedByCtrlB(std::string_view signature)
{
    return std::string(signature).append(
        " was removed: the new list is not signed. Set DEPTEST_SIGNING_KEY to a minisign secret key for "
        "Ctrl+B to sign the lists, or sign them with deptest --generate --sign KEY.");
}
inline std::string unsignedListRemovedByCommand(std::string_view signature)
{
    return std::string(signature).append(" removed: the new list is not signed (give --sign KEY to sign it)");
}

// The command line's own lines on standard error, after "deptest: ".
inline std::string stoppedOnRequestAfter(long long entriesDone)
{
    return "stopped on request after " + std::to_string(entriesDone) + " entries";
}
inline std::string waitingForLists(std::string_view inUse)
{
    return std::string(inUse).append("; waiting for it to end");
}
inline constexpr std::string_view standardOutputUnwritable = "could not write to standard output";
inline constexpr std::string_view noDefaultDestination = "No default destination.";

// The faults of the system's files (system/FileFaults.h), in the same words
// on every system.

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
