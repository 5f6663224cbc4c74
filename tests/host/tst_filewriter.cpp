#include "system/FileWriter.h"

#include <QTest>

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

void tst_FileWriter::pathsWithNulAreRefused()
{
    QVERIFY(isUsablePath("dir/indll.txt"));
    QVERIFY(!isUsablePath(std::string_view("indll.txt\0.bak", 14)));
}

QTEST_GUILESS_MAIN(tst_FileWriter)
#include "tst_filewriter.moc"
