#pragma once

#include "errors/Error.h"
#include "services/FileMeasurement.h"

#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace deptest {

class InputFile;
class OutputFile;
class Printer;

// A small file read whole, with the path it was read from as the user
// knows it.
struct KeyFileText {
    std::string path;
    std::string text;
};

// Held by a command while it reads and writes the lists of the application
// directory; let go when destroyed.
class ListsLock {
public:
    virtual ~ListsLock() = default;
};

// The services every command draws on: files, file measurements, dates,
// messages, event processing and the printer. Paths are the program's own:
// directory literals and backslashes become host paths behind this seam.
class Runtime {
public:
    virtual ~Runtime() = default;

    // The directory holding the executable, without a trailing separator.
    [[nodiscard]] virtual const std::string& applicationDirectory() const = 0;
    // A path as the user knows it on this machine.
    [[nodiscard]] virtual std::string displayPath(std::string_view path) const = 0;

    virtual Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) = 0;
    // Creates the file, or empties it when it exists.
    virtual Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) = 0;
    // A new version of the file, written beside it, that replaces it whole
    // when closed without a failure; until then the old file stays as it is.
    virtual Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) = 0;

    // Size and local modification time from one look at the file. A
    // directory is not a file: 53. Measurements and digests (and the
    // application directory and display paths they use) may be asked from
    // several threads at once; everything else only from the thread that
    // runs the command.
    virtual Result<FileMeasurement> measure(std::string_view path) = 0;
    // Whether a directory the search looks in (the application directory or
    // a fixed one, as the program names it) lies on a network share or
    // another file system whose requests wait for another machine or
    // process. Asked once per run, on the thread that runs it.
    [[nodiscard]] virtual bool isRemoteDirectory(std::string_view /*directory*/) { return false; }
    // The SHA-256 digest of the file's contents, as SystemFiles::digest.
    virtual Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) = 0;
    // Deletes the file; one that is not there is not an error.
    virtual Outcome remove(std::string_view path) = 0;

    // Takes the application directory's lists for one command, so that two
    // runs (from a window, a shell or a schedule) never write the same
    // lists at once. While another run holds them the failure says so, and
    // nothing has been touched. Where the system has no locks there, the
    // command goes on without one (an empty lock).
    virtual Result<std::unique_ptr<ListsLock>> lockLists() = 0;

    // The public key files a test run trusts, read whole: those given for
    // this run, then those (*.pub) of the system's folder of trusted keys,
    // which only an administrator can write. None where there are none (the
    // folder is missing or empty); a file or folder that cannot be read is
    // a failure naming it.
    virtual Result<std::vector<KeyFileText>> trustedKeyFiles() { return std::vector<KeyFileText> {}; }
    // The secret key file a generation signs its lists with, read whole;
    // nothing when none is configured. A file that cannot be read is a
    // failure naming it.
    virtual Result<std::optional<KeyFileText>> signingKeyFile() { return std::optional<KeyFileText> {}; }
    // The password of an encrypted secret key, asked of the user; nothing
    // when none was given or none can be asked for.
    virtual std::optional<std::string> askPassword(std::string_view /*prompt*/) { return std::nullopt; }
    // What a generation's signatures record of it: when, on which machine,
    // by which version of the program.
    virtual std::string signatureComment() { return {}; }
    // The date in the user's long date format, without the time, written
    // over `text` (whose room is reused); `text` is left as it was on failure.
    virtual Outcome formatLongDate(const FileTime& time, std::string& text) = 0;
    // Text that reads as a date comes back in the long date format; any
    // other text comes back unchanged. The answer stays valid until the
    // next call.
    virtual const std::string& listDateAsLongDate(std::string_view dateText) = 0;
    // Starts a new list: its date texts, each once or more, decide its
    // language and code page; nothing carries over from the list before.
    virtual void startList(std::span<const std::string> dateTexts) = 0;
    // The code page the current list's text that is not UTF-8 is shown and
    // printed in; this machine's before any list.
    [[nodiscard]] virtual int displayCodePage() const = 0;

    // A modal box with one OK button; returns when the user has closed it.
    virtual void showMessage(std::string_view text) = 0;
    // A modal box with Yes and No; true for Yes. Where nobody can answer,
    // the answer is No, so nothing is replaced unasked.
    virtual bool askYesNo(std::string_view /*question*/) { return false; }
    // Handles the window events waiting now, then returns.
    virtual void processEvents() = 0;

    virtual Printer& printer() = 0;
};

} // namespace deptest
