#pragma once

#include "dates/LongDateFormat.h"
#include "host/HostDirectories.h"
#include "services/Runtime.h"
#include "services/SystemFiles.h"

#include <QElapsedTimer>
#include <QLocale>

#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace deptest {

class FolderLock;

struct HostSettings {
    std::string applicationDirectory;
    HostDirectories directories;
    QLocale locale;
    // Where set, a command that finds the lists in use by another run
    // waits for them: told why before each further try, it waits on while
    // the answer is true. Unset, the command is refused at once.
    std::function<bool(const std::string& inUse)> waitForLists;
    // The files the runtime reads and writes: this system's own when empty.
    std::shared_ptr<SystemFiles> files {};
    // Public key files trusted for this run (host paths), and the folder
    // whose *.pub files are trusted on every run: the system's own
    // (trustedKeyFolder()) for this machine, none when empty.
    std::vector<std::string> trustedKeys {};
    std::string trustedKeyFolder {};
    // The secret key file a generation signs with (a host path); none when
    // empty. For this machine, the one DEPTEST_SIGNING_KEY names.
    std::string signingKey {};
    // The loader's own search path for libraries (LD_LIBRARY_PATH on this
    // machine), for a name list that asks to search it too; none when unset.
    std::optional<std::string> libraryPath {};
};

// A path as the user gave it, on the command line or in the environment:
// absolute, from the current directory, with its dots resolved.
std::string absoluteHostPath(const std::string& given);

// The runtime's files, dates and events on the real machine: files through
// the operating system, dates through the locale, events through Qt's
// event loop. Messages and the printer are the desktop's (DesktopRuntime).
class HostRuntime : public Runtime {
public:
    // This machine: the executable's directory, the search directories
    // found on it at start (thisMachinesDirectories()) and the user's locale.
    static HostSettings settingsForThisMachine();

    explicit HostRuntime(HostSettings settings);

    [[nodiscard]] const std::string& applicationDirectory() const override;
    [[nodiscard]] std::string displayPath(std::string_view path) const override { return hostPath(path); }
    Result<std::unique_ptr<InputFile>> openForReading(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForWriting(std::string_view path) override;
    Result<std::unique_ptr<OutputFile>> openForReplacing(std::string_view path) override;
    Result<FileMeasurement> measure(std::string_view path) override;
    [[nodiscard]] bool isRemoteDirectory(std::string_view directory) override;
    Result<ContentDigest> digest(std::string_view path, const std::function<bool()>& betweenBlocks) override;
    Outcome remove(std::string_view path) override;
    // Also clears away the new versions a run ended by force left behind,
    // beside the run: a new version is made only once they are gone.
    Result<std::unique_ptr<ListsLock>> lockLists() override;
    Result<std::vector<KeyFileText>> trustedKeyFiles() override;
    Result<std::optional<KeyFileText>> signingKeyFile() override;
    std::string signatureComment() override;
    // A key file (a host path) read whole; a failure names it.
    Result<std::string> readKeyFile(const std::string& hostPath);
    Outcome formatLongDate(const FileTime& time, std::string& text) override;
    const std::string& listDateAsLongDate(std::string_view dateText) override;
    void startList(std::span<const std::string> dateTexts) override;
    [[nodiscard]] int displayCodePage() const override { return m_dates.codePage(); }
    void processEvents() override;

    [[nodiscard]] std::string hostPath(std::string_view path) const;
    [[nodiscard]] const HostSettings& settings() const { return m_settings; }

    // The lock on the lists' folder while a run holds it, shared by the
    // run's hold on it and the runtime.
    struct HeldFolder {
        std::unique_ptr<FolderLock> lock;
        std::shared_future<void> leftoversRemoved; // the clearing away of leftovers
        bool writesNewVersions { false };
    };

private:
    HostSettings m_settings;
    std::string m_applicationDirectory; // as a host directory, with its separator
    std::shared_ptr<SystemFiles> m_files;
    QElapsedTimer m_sinceEvents;
    // The lists' folder while a run holds its lock.
    std::weak_ptr<HeldFolder> m_held;
    LongDateFormat m_dates;
    bool m_lastDateValid { false };
    std::string m_lastDateText;
    std::string m_lastDate;
};

} // namespace deptest
