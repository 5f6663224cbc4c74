#include "errors/ErrorState.h"
#include "platform/Files.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "tests/support/MemoryFile.h"
#include "tests/support/TestRuntime.h"

#include <QTest>

#include <cstring>
#include <random>

using namespace deptest;
using deptest::test::MemoryFile;

namespace {

std::string bytes(const QByteArray& data)
{
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

QStringList toList(const std::vector<std::string>& fields)
{
    QStringList list;
    for (const std::string& field : fields)
        list << QString::fromLatin1(field.data(), static_cast<qsizetype>(field.size()));
    return list;
}

} // namespace

class tst_Records : public QObject {
    Q_OBJECT
private slots:
    void fieldReader_data();
    void fieldReader();
    void lineReader();
    void writerBytes();
    void roundTripThroughRealFile();
    void anyBytesAreSafe();
    void hugeLine();
    void fileFailureInsideAField();
};

void tst_Records::fieldReader_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("count");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("error");
    QTest::addColumn<bool>("atEnd");

    QTest::newRow("quoted text keeps its commas")
        << QByteArray("\"a, b\",12\r\n") << 2 << QStringList { "a, b", "12" } << 0 << true;
    QTest::newRow("three fields across three lines")
        << QByteArray("\"a\"\r\n\"b\"\r\n\"c\"\r\n") << 3 << QStringList { "a", "b", "c" } << 0 << true;
    QTest::newRow("fields left on a line go to the next read")
        << QByteArray("\"a\",\"b\",\"c\",\"d\"\r\n") << 3 << QStringList { "a", "b", "c" } << 0 << false;
    QTest::newRow("only line ends left") << QByteArray("\r\n\r\n") << 1 << QStringList { "old" } << 62 << true;
    QTest::newRow("earlier fields of the call are kept")
        << QByteArray("\"a\"\r\n") << 3 << QStringList { "a", "old", "old" } << 62 << true;
    QTest::newRow("empty file") << QByteArray() << 1 << QStringList { "old" } << 62 << true;
    QTest::newRow("plain field loses outer spaces")
        << QByteArray("  abc  ,def\r\n") << 2 << QStringList { "abc", "def" } << 0 << true;
    QTest::newRow("lone LF ends a line") << QByteArray("a\nb\n") << 2 << QStringList { "a", "b" } << 0 << true;
    QTest::newRow("lone CR ends a line") << QByteArray("a\rb\r") << 2 << QStringList { "a", "b" } << 0 << true;
    QTest::newRow("text after the closing quote is skipped")
        << QByteArray("\"a\"xyz,b\r\n") << 2 << QStringList { "a", "b" } << 0 << true;
    QTest::newRow("quote that never closes runs to the end")
        << QByteArray("\"abc,d\r\ne") << 1 << QStringList { "abc,d\r\ne" } << 0 << true;
    QTest::newRow("end of file ends a field") << QByteArray("abc") << 1 << QStringList { "abc" } << 0 << true;
    QTest::newRow("empty quoted text") << QByteArray("\"\",\"x\"\r\n") << 2 << QStringList { "", "x" } << 0 << true;
    QTest::newRow("empty plain field between commas")
        << QByteArray("a,,b\r\n") << 3 << QStringList { "a", "", "b" } << 0 << true;
    QTest::newRow("integers read as their digits")
        << QByteArray("-42,0\r\n") << 2 << QStringList { "-42", "0" } << 0 << true;
    QTest::newRow("NUL bytes stay in the field")
        << QByteArray("a\0b,c\r\n", 7) << 2 << QStringList { QString::fromLatin1("a\0b", 3), "c" } << 0 << true;
    QTest::newRow("trailing blank line is left to read")
        << QByteArray("a\r\n\r\n") << 1 << QStringList { "a" } << 0 << false;
}

void tst_Records::fieldReader()
{
    QFETCH(QByteArray, input);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    QFETCH(int, error);
    QFETCH(bool, atEnd);

    MemoryFile file(bytes(input));
    RecordReader reader(file);
    std::vector<std::string> fields(3, "old");
    ErrorState state;
    if (count == 1)
        reader.readFields({ &fields[0] }, state);
    else if (count == 2)
        reader.readFields({ &fields[0], &fields[1] }, state);
    else
        reader.readFields({ &fields[0], &fields[1], &fields[2] }, state);
    fields.resize(static_cast<std::size_t>(count));
    QCOMPARE(toList(fields), expected);
    QCOMPARE(state.number(), error);
    QCOMPARE(reader.atEnd(), atEnd);
}

void tst_Records::lineReader()
{
    MemoryFile file("Format: a, b\r\n\"x\",1\nlast");
    RecordReader reader(file);
    ErrorState state;
    std::string line = "old";
    reader.readLine(line, state);
    QCOMPARE(line, std::string("Format: a, b"));
    reader.readLine(line, state);
    QCOMPARE(line, std::string("\"x\",1"));
    reader.readLine(line, state);
    QCOMPARE(line, std::string("last"));
    QVERIFY(!state.pending());
    QVERIFY(reader.atEnd());
    reader.readLine(line, state);
    QCOMPARE(state.number(), error::inputPastEnd);
    QCOMPARE(line, std::string("last"));
}

namespace {

class StringOutput final : public OutputFile {
public:
    void write(std::string_view bytes, ErrorState&) override { text += bytes; }
    void close(ErrorState&) override { }
    std::string text;
};

} // namespace

void tst_Records::writerBytes()
{
    StringOutput out;
    RecordWriter writer(out);
    ErrorState state;
    writer.writeLine("Format: x, y", state);
    writer.writeRecord({ "a,b", std::int64_t { -5 }, std::int64_t { 0 }, "" }, state);
    writer.writeRecord({ "say \"hi\"", std::int64_t { 5'000'000'000 } }, state);
    QCOMPARE(out.text, std::string("Format: x, y\r\n\"a,b\",-5,0,\"\"\r\n\"say \"hi\"\",5000000000\r\n"));
}

void tst_Records::roundTripThroughRealFile()
{
    test::Machine machine;
    test::TestRuntime runtime(machine);
    const std::string path = machine.applicationDirectory() + "\\round.txt";
    ErrorState state;
    {
        auto file = runtime.openForWriting(path, state);
        QVERIFY(file);
        RecordWriter writer(*file);
        writer.writeRecord({ "Monday, December 7, 2026", "  spaced  ", "" }, state);
        writer.writeRecord({ "x", std::int64_t { -1 }, std::int64_t { 0 } }, state);
        file->close(state);
    }
    QVERIFY(!state.pending());
    QCOMPARE(test::Machine::readText(machine.applicationDirectory() + "/round.txt"),
        std::string("\"Monday, December 7, 2026\",\"  spaced  \",\"\"\r\n\"x\",-1,0\r\n"));

    auto file = runtime.openForReading(path, state);
    QVERIFY(file);
    RecordReader reader(*file);
    std::vector<std::string> fields(6);
    std::size_t records = 0;
    while (!reader.atEnd()) {
        reader.readFields({ &fields[records * 3], &fields[records * 3 + 1], &fields[records * 3 + 2] }, state);
        ++records;
    }
    QVERIFY(!state.pending());
    QCOMPARE(records, std::size_t { 2 });
    QCOMPARE(toList(fields), (QStringList { "Monday, December 7, 2026", "  spaced  ", "", "x", "-1", "0" }));
}

void tst_Records::anyBytesAreSafe()
{
    // Every read consumes at least one byte or fails, so a loop over any
    // input ends; the sanitizer builds check that nothing reads out of bounds.
    std::mt19937 random(20261207);
    const char alphabet[] = { '"', ',', '\r', '\n', ' ', 'a', '\0', '\xff' };
    std::uniform_int_distribution<int> pick(0, sizeof alphabet - 1);
    std::uniform_int_distribution<int> length(0, 3000);
    for (int round = 0; round < 3000; ++round) {
        std::string input(static_cast<std::size_t>(length(random)), ' ');
        for (char& c : input)
            c = alphabet[pick(random)];
        MemoryFile file(input, 1 + static_cast<std::size_t>(round % 17));
        RecordReader reader(file);
        std::size_t reads = 0;
        std::size_t taken = 0;
        while (!reader.atEnd()) {
            ErrorState state;
            std::string field;
            if (round % 2 == 0)
                reader.readField(field, state);
            else
                reader.readLine(field, state);
            taken += field.size();
            QVERIFY2(++reads <= input.size() + 1, "a read consumed nothing");
        }
        QVERIFY(taken <= input.size());
    }
}

void tst_Records::hugeLine()
{
    std::string input(40 * 1024 * 1024, 'x');
    input += "\r\n\"next\"";
    MemoryFile file(input, 1 << 20);
    RecordReader reader(file);
    ErrorState state;
    std::string line;
    reader.readLine(line, state);
    QCOMPARE(line.size(), std::size_t { 40 * 1024 * 1024 });
    reader.readField(line, state);
    QCOMPARE(line, std::string("next"));
    QVERIFY(!state.pending());
}

namespace {

// Hands out its bytes, then fails like a disk that went away.
class BreakingFile final : public InputFile {
public:
    explicit BreakingFile(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }
    std::size_t read(char* buffer, std::size_t size, ErrorState& state) override
    {
        if (m_done) {
            state.raise(error::deviceIo);
            return 0;
        }
        m_done = true;
        const std::size_t count = std::min(size, m_bytes.size());
        std::memcpy(buffer, m_bytes.data(), count);
        return count;
    }

private:
    std::string m_bytes;
    bool m_done { false };
};

} // namespace

void tst_Records::fileFailureInsideAField()
{
    BreakingFile file("\"whole\",\"Monday, Dec");
    RecordReader reader(file);
    std::string first = "old";
    std::string second = "old";
    ErrorState state;
    reader.readFields({ &first, &second }, state);
    QCOMPARE(first, std::string("whole"));
    QCOMPARE(second, std::string("old")); // never the torn text
    QCOMPARE(QString::fromStdString(generalErrorMessage(state)), QStringLiteral("Error  57: Device I/O error"));
    QVERIFY(reader.atEnd());
    QCOMPARE(reader.fileError().number(), error::deviceIo);
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
