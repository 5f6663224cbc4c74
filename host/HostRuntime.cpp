#include "host/HostRuntime.h"

#include "records/DataFiles.h"
#include "services/Files.h"
#include "system/FileSystem.h"
#include "system/FileWriter.h"
#include "system/FolderLock.h"
#include "system/LocalTime.h"
#include "system/TrustedKeys.h"
#include "verify/SignedLists.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QSysInfo>

#include <algorithm>
#include <future>
#include <system_error>
#include <utility>

namespace deptest {

HostSettings HostRuntime::settingsForThisMachine()
{
    HostSettings settings { QCoreApplication::applicationDirPath().toStdString(), thisMachinesDirectories(),
        QLocale::system(), {}, {}, {}, trustedKeyFolder() };
    if (const QString key = qEnvironmentVariable("DEPTEST_SIGNING_KEY"); !key.isEmpty())
        settings.signingKey = absoluteHostPath(key.toStdString());
    if (qEnvironmentVariableIsSet("LD_LIBRARY_PATH"))
        settings.libraryPath = qEnvironmentVariable("LD_LIBRARY_PATH").toStdString();
    return settings;
}

std::string absoluteHostPath(const std::string& given)
{
    return QDir::cleanPath(QDir(QString::fromStdString(given)).absolutePath()).toStdString();
}

HostRuntime::HostRuntime(HostSettings settings)
    : m_settings(std::move(settings))
    , m_applicationDirectory(m_settings.applicationDirectory + m_settings.directories.separator)
    , m_files(m_settings.files ? m_settings.files : std::shared_ptr<SystemFiles>(thisSystemsFiles()))
    , m_dates(m_settings.locale)
{
}

const std::string& HostRuntime::applicationDirectory() const { return m_settings.applicationDirectory; }

std::string HostRuntime::hostPath(std::string_view path) const
{
    // The application directory is this machine's own: a backslash in its
    // name is part of the name. Only what follows it is the program's path.
    const std::string& application = m_settings.applicationDirectory;
    if (path.size() > application.size() && path.starts_with(application) && path[application.size()] == '\\') {
        std::string host = m_applicationDirectory;
        const std::size_t inside = host.size();
        host.append(path.substr(application.size() + 1));
        std::replace(
            host.begin() + static_cast<std::ptrdiff_t>(inside), host.end(), '\\', m_settings.directories.separator);
        return host;
    }
    return toHostPath(path, m_settings.directories);
}

Result<std::unique_ptr<InputFile>> HostRuntime::openForReading(std::string_view path)
{
    return m_files->openForReading(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForWriting(std::string_view path)
{
    return m_files->openForWriting(hostPath(path));
}

Result<std::unique_ptr<OutputFile>> HostRuntime::openForReplacing(std::string_view path)
{
    // A new version is made only once the old ones are gone, so that the
    // clearing away never takes this run's own for one.
    const std::string file = hostPath(path);
    if (const std::shared_ptr<HeldFolder> held = m_held.lock()) {
        if (held->leftoversRemoved.valid())
            held->leftoversRemoved.wait();
        if (!held->writesNewVersions) {
            held->lock->expectNewVersions();
            held->writesNewVersions = true;
        }
    } else {
        FolderLock::expectNewVersionsIn(folderOf(file));
    }
    return m_files->openForReplacing(file);
}

Result<FileMeasurement> HostRuntime::measure(std::string_view path)
{
    // A path in one of the searched directories is looked up in it.
    if (const LiteralSplit split = splitAtDirectoryLiteral(path, m_settings.directories); split.directory != nullptr)
        return m_files->measureIn(*split.directory, split.rest);
    const std::string& application = m_settings.applicationDirectory;
    if (path.size() > application.size() && path.starts_with(application) && path[application.size()] == '\\')
        return m_files->measureIn(m_applicationDirectory, path.substr(application.size() + 1));
    return m_files->measure(hostPath(path));
}

Result<ContentDigest> HostRuntime::digest(std::string_view path, const std::function<bool()>& betweenBlocks)
{
    return m_files->digest(hostPath(path), betweenBlocks);
}

bool HostRuntime::isRemoteDirectory(std::string_view directory)
{
    return isRemoteFolder(
        directory == m_settings.applicationDirectory ? m_settings.applicationDirectory : hostPath(directory));
}

Outcome HostRuntime::remove(std::string_view path) { return m_files->remove(hostPath(path)); }

namespace {

std::string listsInUse(const std::string& directory, std::int64_t holder)
{
    std::string text = "The lists in " + directory + " are in use by another run of deptest";
    if (holder > 0)
        text += " (process " + std::to_string(holder) + ")";
    return text;
}

// The lock, let go only once the leftovers it clears away are gone and the
// run's new versions have all replaced their files or been removed.
class HeldLists final : public ListsLock {
public:
    explicit HeldLists(std::shared_ptr<HostRuntime::HeldFolder> held)
        : m_held(std::move(held))
    {
    }
    ~HeldLists() override
    {
        if (!m_held)
            return;
        if (m_held->leftoversRemoved.valid())
            m_held->leftoversRemoved.wait();
        if (m_held->writesNewVersions)
            m_held->lock->leaveTidy();
    }
    HeldLists(const HeldLists&) = delete;
    HeldLists& operator=(const HeldLists&) = delete;

private:
    std::shared_ptr<HostRuntime::HeldFolder> m_held;
};

// Clears away the new versions a run ended by force left in the folder,
// beside the run rather than before it: a folder of many thousand files
// takes a while to list, and the run reads meanwhile. Where no thread can
// be started, before the run.
std::shared_future<void> removeLeftoversMeanwhile(const FolderLock& lock)
{
    try {
        return std::async(std::launch::async, [&lock] { lock.removeLeftovers(dataFile::all); }).share();
    } catch (const std::system_error&) {
        lock.removeLeftovers(dataFile::all);
        return {};
    }
}

} // namespace

Result<std::unique_ptr<ListsLock>> HostRuntime::lockLists()
{
    // Every run takes the lists first: it reckons in the zone the machine
    // has then.
    reloadTimeZone();
    const std::string& directory = m_settings.applicationDirectory;
    for (;;) {
        FolderLock::Attempt attempt = FolderLock::tryTake(directory);
        if (attempt.lock) {
            auto held = std::make_shared<HeldFolder>();
            held->lock = std::move(attempt.lock);
            held->leftoversRemoved = removeLeftoversMeanwhile(*held->lock);
            m_held = held;
            return std::unique_ptr<ListsLock>(std::make_unique<HeldLists>(std::move(held)));
        }
        if (!attempt.busy)
            return std::unique_ptr<ListsLock>(std::make_unique<HeldLists>(nullptr));
        const std::string inUse = listsInUse(directory, attempt.holder);
        if (!m_settings.waitForLists || !m_settings.waitForLists(inUse))
            return Error { error::permissionDenied, inUse + "; try again when it has ended" };
        QCoreApplication::processEvents();
        FolderLock::pause();
    }
}

Result<std::vector<KeyFileText>> HostRuntime::trustedKeyFiles()
{
    std::vector<std::string> paths = m_settings.trustedKeys;
    if (const std::string& folder = m_settings.trustedKeyFolder; !folder.empty()) {
        const auto names = keyFileNames(folder);
        if (!names)
            return Error { names.error().number,
                "the folder of trusted keys " + folder + " cannot be read: " + names.error().description };
        for (const std::string& name : *names)
            paths.push_back(std::string(folder).append(1, m_settings.directories.separator).append(name));
    }
    std::vector<KeyFileText> files;
    for (const std::string& path : paths) {
        auto text = readKeyFile(path);
        if (!text)
            return text.error();
        files.push_back({ path, std::move(*text) });
    }
    return files;
}

Result<std::optional<KeyFileText>> HostRuntime::signingKeyFile()
{
    if (m_settings.signingKey.empty())
        return std::optional<KeyFileText> {};
    auto text = readKeyFile(m_settings.signingKey);
    if (!text)
        return text.error();
    return std::optional<KeyFileText> { KeyFileText { m_settings.signingKey, std::move(*text) } };
}

std::string HostRuntime::signatureComment()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return signing::generationComment(now.toSecsSinceEpoch(), now.toString(Qt::ISODate).toStdString(),
        QSysInfo::machineHostName().toStdString(), DEPTEST_VERSION);
}

Result<std::string> HostRuntime::readKeyFile(const std::string& hostPath)
{
    auto file = m_files->openForReading(hostPath);
    auto text = file ? readWhole(**file, signing::largestFile) : Result<std::optional<std::string>>(file.error());
    if (!text)
        return Error { text.error().number, hostPath + ": " + text.error().description };
    return std::move(**text);
}

Outcome HostRuntime::formatLongDate(const FileTime& time, std::string& text) { return m_dates.render(time, text); }

const std::string& HostRuntime::listDateAsLongDate(std::string_view dateText)
{
    // A list gives most of its entries the date of the one before: that
    // date is kept here rather than looked up again.
    if (!m_lastDateValid || dateText != m_lastDateText) {
        m_lastDateText.assign(dateText);
        m_lastDate = m_dates.render(dateText);
        m_lastDateValid = true;
    }
    return m_lastDate;
}

void HostRuntime::startList(std::span<const std::string> dateTexts)
{
    // The same text may read as another day in the next list: nothing of
    // the list before may answer for it.
    m_lastDateValid = false;
    m_dates.study(dateTexts);
}

void HostRuntime::processEvents()
{
    // Every couple of milliseconds is as often as anyone can tell: a click
    // still applies from the entry after it, and the lists still grow.
    constexpr qint64 interval = 2'000'000; // nanoseconds
    if (m_sinceEvents.isValid() && m_sinceEvents.nsecsElapsed() < interval)
        return;
    QCoreApplication::processEvents();
    m_sinceEvents.start();
}

} // namespace deptest
