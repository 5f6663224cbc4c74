#include "system/FileWriter.h"
#include "system/posix/PosixFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <map>
#include <memory>
#include <string>

using namespace deptest;

namespace {

// What the system saw of one file: its bytes, and whether it was synced,
// closed, put in place or discarded. Writes fail once `room` is used up.
struct Disk {
    std::string bytes;
    std::size_t room { static_cast<std::size_t>(-1) };
    int failWith { error::diskFull };
    bool syncFails { false };
    bool renameFails { false };
    int syncs { 0 };
    int closes { 0 };
    bool inPlace { false };
    bool discarded { false };
};

class DiskFile final : public SystemFile {
public:
    explicit DiskFile(Disk& disk)
        : m_disk(disk)
    {
    }
    Result<std::size_t> writeSome(std::string_view bytes) override
    {
        if (m_disk.room == 0)
            return Error::of(m_disk.failWith);
        // A short write first, as systems do near the end of the room.
        const std::size_t put = std::min(bytes.size(), m_disk.room);
        m_disk.bytes.append(bytes.substr(0, put));
        m_disk.room -= put;
        return put;
    }
    void truncate(std::uint64_t size) override { m_disk.bytes.resize(size); }
    Outcome sync() override
    {
        ++m_disk.syncs;
        return m_disk.syncFails ? Outcome { Error::of(error::deviceIo) } : Outcome {};
    }
    Outcome close() override
    {
        ++m_disk.closes;
        return {};
    }

private:
    Disk& m_disk;
};

class DiskVersion final : public PendingVersion {
public:
    explicit DiskVersion(Disk& disk)
        : m_disk(disk)
    {
    }
    Outcome putInPlace() override
    {
        if (m_disk.renameFails)
            return Error::of(error::pathFileAccess);
        m_disk.inPlace = true;
        return {};
    }
    void discard() override { m_disk.discarded = true; }

private:
    Disk& m_disk;
};

// The system's own calls, watched: the syncs, renames and removals of a
// replacement in their order, each naming its file by its path below the
// root ("new" for the new version). `failing` names a call that fails
// instead, as a sync does on a failing disk ("sync new") or a folder's
// open where the user may not read it ("open lists").
class WatchedCalls final : public PosixCalls {
public:
    WatchedCalls(std::string root, QString failing)
        : m_root(std::move(root) + "/")
        , m_failing(failing.toStdString())
    {
    }

    int open(const char* path, int flags, mode_t mode) override
    {
        if ("open " + nameOf(path) == m_failing) {
            errno = EACCES;
            return -1;
        }
        const int descriptor = PosixCalls::open(path, flags, mode);
        m_names[descriptor] = nameOf(path);
        return descriptor;
    }
    int makeUnique(std::string& pattern, int flags) override
    {
        const int descriptor = PosixCalls::makeUnique(pattern, flags);
        m_temporary = pattern;
        m_names[descriptor] = "new";
        return descriptor;
    }
    int sync(int descriptor) override
    {
        const std::string call = "sync " + m_names[descriptor];
        calls << QString::fromStdString(call);
        if (call == m_failing) {
            errno = EIO;
            return -1;
        }
        return PosixCalls::sync(descriptor);
    }
    int rename(const char* from, const char* to) override
    {
        calls << QString::fromStdString("rename " + nameOf(from) + " " + nameOf(to));
        return PosixCalls::rename(from, to);
    }
    int unlink(const char* path) override
    {
        calls << QString::fromStdString("unlink " + nameOf(path));
        return PosixCalls::unlink(path);
    }

    QStringList calls;

private:
    std::string nameOf(const std::string& path) const
    {
        if (!m_temporary.empty() && path == m_temporary)
            return "new";
        return path.starts_with(m_root) ? path.substr(m_root.size()) : path;
    }

    std::string m_root;
    std::string m_failing;
    std::string m_temporary;
    std::map<int, std::string> m_names;
};

std::string lines(int count)
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "\"line" + std::to_string(i) + ".so\",1234,\"Monday, December 7, 2026\"\r\n";
    return text;
}

} // namespace

class tst_FileWriter : public QObject {
    Q_OBJECT
private slots:
    void failedWriteKeepsWholeLines_data();
    void failedWriteKeepsWholeLines();
    void failedSyncIsReported();
    void replacement_data();
    void replacement();
    void replacementOnDisk_data();
    void replacementOnDisk();
    void pathsWithNulAreRefused();
};

void tst_FileWriter::failedWriteKeepsWholeLines_data()
{
    QTest::addColumn<int>("room");
    QTest::addColumn<int>("failWith");
    QTest::newRow("no room at all") << 0 << int(error::diskFull);
    QTest::newRow("room ends inside the first line") << 10 << int(error::diskFull);
    QTest::newRow("room ends in a later buffer") << 100'000 << int(error::diskFull);
    QTest::newRow("device fault keeps its number") << 70'001 << int(error::deviceIo);
}

void tst_FileWriter::failedWriteKeepsWholeLines()
{
    QFETCH(int, room);
    QFETCH(int, failWith);
    Disk disk;
    disk.room = static_cast<std::size_t>(room);
    disk.failWith = failWith;
    std::unique_ptr<OutputFile> file = bufferedOutput(std::make_unique<DiskFile>(disk));
    const std::string line = lines(1);
    Outcome failure;
    for (int i = 0; i < 5000 && !failure; ++i)
        failure = file->write(line);
    if (!failure)
        failure = file->close();
    QVERIFY(failure);
    QCOMPARE(failure->number, failWith);
    // Later writes and the close give the same failure and change nothing.
    const std::string kept = disk.bytes;
    QCOMPARE(file->write(line)->number, failWith);
    QCOMPARE(file->close()->number, failWith);
    QCOMPARE(disk.bytes, kept);
    QVERIFY(kept.size() <= static_cast<std::size_t>(room));
    QCOMPARE(kept.size() % line.size(), std::size_t { 0 });
    QCOMPARE(disk.syncs, 0); // nothing failed is put on the disk as if whole
    QCOMPARE(disk.closes, 1);
}

void tst_FileWriter::failedSyncIsReported()
{
    Disk disk;
    disk.syncFails = true;
    std::unique_ptr<OutputFile> file = bufferedOutput(std::make_unique<DiskFile>(disk));
    QVERIFY(!file->write(lines(3)));
    const Outcome closed = file->close();
    QVERIFY(closed);
    QCOMPARE(closed->number, error::deviceIo);
    QCOMPARE(disk.bytes, lines(3));
}

void tst_FileWriter::replacement_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("inPlace");
    QTest::newRow("whole and closed takes the old one's place") << "" << true << 0 << true;
    QTest::newRow("dropped unclosed goes") << "" << false << 0 << false;
    QTest::newRow("full disk keeps the old one") << "room" << true << int(error::diskFull) << false;
    QTest::newRow("failed sync keeps the old one") << "sync" << true << int(error::deviceIo) << false;
    QTest::newRow("failed rename keeps the old one") << "rename" << true << int(error::pathFileAccess) << false;
}

void tst_FileWriter::replacement()
{
    QFETCH(QString, fault);
    QFETCH(bool, closed);
    QFETCH(int, error);
    QFETCH(bool, inPlace);
    Disk disk;
    disk.room = fault == "room" ? 50 : disk.room;
    disk.syncFails = fault == "sync";
    disk.renameFails = fault == "rename";
    {
        std::unique_ptr<OutputFile> file
            = replacementOutput(std::make_unique<DiskFile>(disk), std::make_unique<DiskVersion>(disk));
        (void)file->write(lines(2));
        if (closed) {
            const Outcome outcome = file->close();
            QCOMPARE(outcome ? outcome->number : 0, error);
        }
    }
    QCOMPARE(disk.inPlace, inPlace);
    QCOMPARE(disk.discarded, !inPlace);
    QCOMPARE(disk.closes, 1);
}

void tst_FileWriter::replacementOnDisk_data()
{
    // The list lists/indll.txt as it was (none, a file or a link to
    // another folder's file) and a call that fails; then the calls seen,
    // the error closing gave and what the list holds.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("after");
    const QStringList durable { "sync new", "rename new lists/indll.txt", "sync lists" };
    QTest::newRow("replaced: data, rename, folder") << "old"
                                                    << "" << durable << 0 << "new";
    QTest::newRow("made: data, rename, folder") << ""
                                                << "" << durable << 0 << "new";
    QTest::newRow("through a link: the folder of the file it leads to")
        << "link"
        << "" << QStringList { "sync new", "rename new elsewhere/indll.txt", "sync elsewhere" } << 0 << "new";
    QTest::newRow("failed data sync keeps the old list")
        << "old"
        << "sync new" << QStringList { "sync new", "unlink new" } << int(error::deviceIo) << "old";
    QTest::newRow("failed folder sync is no failure") << "old"
                                                      << "sync lists" << durable << 0 << "new";
    QTest::newRow("folder that cannot be opened is no failure")
        << "old"
        << "open lists" << QStringList { "sync new", "rename new lists/indll.txt" } << 0 << "new";
}

void tst_FileWriter::replacementOnDisk()
{
    QFETCH(QString, before);
    QFETCH(QString, failing);
    QFETCH(QStringList, calls);
    QFETCH(int, error);
    QFETCH(QString, after);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QVERIFY(QDir(root.path()).mkpath("lists") && QDir(root.path()).mkpath("elsewhere"));
    const QString list = root.filePath("lists/indll.txt");
    const QString target = before == "link" ? root.filePath("elsewhere/indll.txt") : list;
    const auto write = [](const QString& path, const QByteArray& bytes) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    };
    if (before == "link")
        QVERIFY(write(target, "old") && QFile::link(target, list));
    else if (!before.isEmpty())
        QVERIFY(write(list, before.toUtf8()));

    auto watched = std::make_shared<WatchedCalls>(root.path().toStdString(), failing);
    PosixFiles files(watched);
    Result<std::unique_ptr<OutputFile>> file = files.openForReplacing(list.toStdString());
    QVERIFY(file);
    QVERIFY(!(*file)->write("new"));
    const Outcome closed = (*file)->close();
    file->reset();

    QCOMPARE(closed ? closed->number : 0, error);
    QCOMPARE(watched->calls, calls);
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(written.readAll()), after);
    QCOMPARE(QFileInfo(list).isSymLink(), before == "link");
    // No new version is left beside it.
    const QDir::Filters everything = QDir::Files | QDir::Hidden | QDir::System;
    QCOMPARE(QDir(root.filePath("lists")).entryList(everything).size()
            + QDir(root.filePath("elsewhere")).entryList(everything).size(),
        before == "link" ? 2 : 1);
}

void tst_FileWriter::pathsWithNulAreRefused()
{
    QVERIFY(isUsablePath("dir/indll.txt"));
    QVERIFY(!isUsablePath(std::string_view("indll.txt\0.bak", 14)));
}

QTEST_GUILESS_MAIN(tst_FileWriter)
#include "tst_filewriter.moc"
