#include "records/DataFiles.h"
#include "records/DigestList.h"
#include "records/LeadingNumber.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "records/TextFile.h"
#include "services/Files.h"

#include <QTest>

#include <cstring>
#include <random>

using namespace deptest;

namespace {

// Small pieces, so that every buffer boundary inside the reader gets crossed.
class MemoryFile final : public InputFile {
public:
    explicit MemoryFile(std::string bytes, std::size_t piece = 7)
        : m_file(std::move(bytes), piece)
    {
    }
    Result<std::size_t> read(char* buffer, std::size_t size) override { return m_file.read(buffer, size); }

private:
    TextFile m_file;
};

std::string bytes(const QByteArray& data)
{
    return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

// Text in UTF-16 with its byte-order mark, as Windows PowerShell and
// Notepad save a list; `tail` is appended as raw bytes.
QByteArray utf16(const QString& text, bool littleEndian, const QByteArray& tail = {})
{
    QByteArray out = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (const QChar unit : text) {
        const auto low = static_cast<char>(unit.unicode() & 0xFF);
        const auto high = static_cast<char>(unit.unicode() >> 8);
        out.append(littleEndian ? low : high).append(littleEndian ? high : low);
    }
    return out + tail;
}

// UTF-8 bytes as the reader gives them, one character per byte.
QString utf8(const char* bytes) { return QString::fromLatin1(bytes); }

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
    void recordsReadBackAsWritten();
    void exceptionLines_data();
    void exceptionLines();
    void leadingNumber_data();
    void leadingNumber();
    void anyBytesAreSafe();
    void hugeLine();
    void fileFailureInsideAField();
    void digestLines_data();
    void digestLines();
    void digestLinesReadBackAsWritten();
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
    QTest::newRow("lone CR after quoted text")
        << QByteArray("\"a\"\r\"b\"\r") << 2 << QStringList { "a", "b" } << 0 << true;
    QTest::newRow("plain field loses its spaces before a line end")
        << QByteArray("abc  \r\nd  \n") << 2 << QStringList { "abc", "d" } << 0 << true;
    QTest::newRow("text after the closing quote is skipped")
        << QByteArray("\"a\"xyz,b\r\n") << 2 << QStringList { "a", "b" } << 0 << true;
    // A list cut short inside a quoted field says so.
    QTest::newRow("quote that never closes runs to the end")
        << QByteArray("\"abc,d\r\ne") << 1 << QStringList { "old" } << 62 << true;
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
    // Lists saved as UTF-16 are read as their text, in UTF-8.
    QTest::newRow("UTF-16LE with its mark") << utf16(QString::fromUtf8("\"\u00e4.dll\",b\r\nc\r\n"), true) << 3
                                            << QStringList { utf8("\xC3\xA4.dll"), "b", "c" } << 0 << true;
    QTest::newRow("UTF-16BE with its mark") << utf16(QString::fromUtf8("\u20ac.so,\"a, b\"\r\n"), false) << 2
                                            << QStringList { utf8("\xE2\x82\xAC.so"), "a, b" } << 0 << true;
    QTest::newRow("UTF-16 pair beyond 16 bits") << utf16(QString::fromUtf8("x\U0001F600y\r\n"), true) << 1
                                                << QStringList { utf8("x\xF0\x9F\x98\x80y") } << 0 << true;
    QTest::newRow("UTF-16 half a pair and an odd last byte") << utf16(QString(QChar(0xD800)) + "a,b", true, "\x01") << 2
                                                             << QStringList { utf8("\xEF\xBF\xBD"
                                                                                   "a"),
                                                                    utf8("b\xEF\xBF\xBD") }
                                                             << 0 << true;
    QTest::newRow("UTF-16 mark alone") << utf16({}, true) << 1 << QStringList { "old" } << 62 << true;
}

void tst_Records::fieldReader()
{
    QFETCH(QByteArray, input);
    QFETCH(int, count);
    QFETCH(QStringList, expected);
    QFETCH(int, error);
    QFETCH(bool, atEnd);

    // In small pieces, so that every buffer boundary is crossed, and whole,
    // as a list on a disk is read: each field is then in the buffer at once.
    for (const std::size_t piece : { std::size_t { 7 }, std::string::npos }) {
        MemoryFile file(bytes(input), piece);
        RecordReader reader(file);
        std::vector<std::string> fields(static_cast<std::size_t>(count), "old");
        int failure = 0;
        for (std::string& field : fields) {
            Result<std::string> read = reader.readField();
            if (!read) {
                failure = read.error().number;
                break;
            }
            field = *read;
        }
        QCOMPARE(toList(fields), expected);
        QCOMPARE(failure, error);
        QCOMPARE(reader.atEnd(), atEnd);
    }
}

void tst_Records::lineReader()
{
    MemoryFile file("Format: a, b\r\n\"x\",1\nlast");
    RecordReader reader(file);
    QCOMPARE(reader.readLine().value(), std::string("Format: a, b"));
    QCOMPARE(reader.readLine().value(), std::string("\"x\",1"));
    QCOMPARE(reader.readLine().value(), std::string("last"));
    QVERIFY(reader.atEnd());
    const Result<std::string> pastEnd = reader.readLine();
    QVERIFY(!pastEnd);
    QCOMPARE(pastEnd.error(), Error::of(error::inputPastEnd));
}

namespace {

class StringOutput final : public OutputFile {
public:
    Outcome write(std::string_view bytes) override
    {
        text += bytes;
        return {};
    }
    Outcome finish() override { return {}; }
    Outcome close() override { return {}; }
    std::string text;
};

} // namespace

void tst_Records::writerBytes()
{
    StringOutput out;
    RecordWriter writer(out);
    QVERIFY(!writer.writeLine("Format: x, y"));
    QVERIFY(!writer.writeRecord({ "a,b", std::int64_t { -5 }, Digits { "0" }, "" }));
    QVERIFY(!writer.writeRecord({ "say \"hi\"", std::int64_t { 5'000'000'000 } }));
    QVERIFY(!writeReference(writer, { "libc.so.6", "1922136", "Monday, December 7, 2026" }));
    QVERIFY(!writeException(writer, NotFoundRecord { "gone.so", "7", "Monday, December 7, 2026", "File not found" }));
    QVERIFY(!writeException(writer, MismatchRecord { "a.so", "12", "10", "Tuesday", "Monday" }));
    QVERIFY(!writeNotFoundName(writer, "lost.so"));
    QCOMPARE(out.text,
        std::string("Format: x, y\r\n\"a,b\",-5,0,\"\"\r\n\"say \"hi\"\",5000000000\r\n"
                    "\"libc.so.6\",\"1922136\",\"Monday, December 7, 2026\"\r\n"
                    "\"gone.so\",7,\"Monday, December 7, 2026\",\"File not found\"\r\n"
                    "\"a.so\",12,10,\"Tuesday\",\"Monday\",\"Bad date or size\"\r\n"
                    "\"lost.so\"\r\n"));
}

void tst_Records::recordsReadBackAsWritten()
{
    // Writer and reader share the record definitions: what one writes, the
    // other gives back field for field, commas and spaces included.
    StringOutput out;
    RecordWriter writer(out);
    const ReferenceRecord reference { "a, b.so", "  12  ", "Monday, December 7, 2026" };
    QVERIFY(!writeReference(writer, reference));
    QVERIFY(!writeNotFoundName(writer, "lost, found.so"));
    const NotFoundRecord notFound { "gone.so", "7", "Monday, December 7, 2026", "File not found" };
    const MismatchRecord mismatch { "bad.so", "12", "10", "Tuesday, December 8, 2026", "Monday, December 7, 2026" };
    std::string exceptions;
    for (const ExceptionRecord& record : { ExceptionRecord { notFound }, ExceptionRecord { mismatch } }) {
        StringOutput line;
        RecordWriter lineWriter(line);
        QVERIFY(!writeException(lineWriter, record));
        QCOMPARE(exceptionFromLine(line.text.substr(0, line.text.size() - 2)), std::optional(record));
    }

    MemoryFile file(out.text);
    RecordReader reader(file);
    const ReferenceRead read = readReference(reader);
    QVERIFY(!read.failure);
    QCOMPARE(read.record.name, reference.name);
    QCOMPARE(read.record.size, reference.size);
    QCOMPARE(read.record.date, reference.date);
    std::string name;
    QVERIFY(!readName(reader, name));
    QCOMPARE(name, std::string("lost, found.so"));
    QVERIFY(reader.atEnd());

    // A reference record cut short keeps the fields it had.
    MemoryFile cut("\"x.so\",\"5\"");
    RecordReader cutReader(cut);
    const ReferenceRead partial = readReference(cutReader);
    QCOMPARE(partial.failure, Outcome(Error::of(error::inputPastEnd)));
    QCOMPARE(partial.record.name, std::string("x.so"));
    QCOMPARE(partial.record.size, std::string("5"));
    QCOMPARE(partial.record.date, std::string());

    // Read into one record again and again, as a test run does, each read
    // gives what a fresh one would: nothing is left of the longer record
    // before, neither a field nor its failure.
    const std::string list = "\"long-name.so\",\"123456\",\"Monday, December 7, 2026\"\r\n"
                             "\"b.so\",\"7\",\"x\"\r\n"
                             "\"c.so\",\"\"";
    MemoryFile fresh(list);
    MemoryFile reused(list);
    RecordReader freshReader(fresh);
    RecordReader reusedReader(reused);
    ReferenceRead again;
    for (int record = 0; record < 4; ++record) {
        const ReferenceRead expected = readReference(freshReader);
        readReference(reusedReader, again);
        QCOMPARE(again.failure, expected.failure);
        QCOMPARE(again.record.name, expected.record.name);
        QCOMPARE(again.record.size, expected.record.size);
        QCOMPARE(again.record.date, expected.record.date);
    }
    QCOMPARE(again.failure, Outcome(Error::of(error::inputPastEnd)));
}

void tst_Records::exceptionLines_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("fields"); // empty: no record; six: mismatch; four: not found
    QTest::newRow("blank line") << QByteArray("") << QStringList {};
    QTest::newRow("only spaces") << QByteArray("   ") << QStringList {};
    QTest::newRow("one field is a not-found record")
        << QByteArray("\"cut.so\"") << QStringList { "cut.so", "", "", "" };
    QTest::newRow("four fields") << QByteArray("\"a\",7,\"d\",\"e\"") << QStringList { "a", "7", "d", "e" };
    QTest::newRow("five fields are a mismatch without error")
        << QByteArray("\"a\",1,2,\"t\",\"o\"") << QStringList { "a", "1", "2", "t", "o", "" };
    QTest::newRow("seven fields: the seventh is dropped")
        << QByteArray("\"a\",1,2,\"t\",\"o\",\"e\",\"x\"") << QStringList { "a", "1", "2", "t", "o", "e" };
}

void tst_Records::exceptionLines()
{
    QFETCH(QByteArray, line);
    QFETCH(QStringList, fields);
    const std::optional<ExceptionRecord> record = exceptionFromLine(bytes(line));
    QCOMPARE(record.has_value(), !fields.isEmpty());
    if (!record)
        return;
    std::vector<std::string> got;
    if (const auto* notFound = std::get_if<NotFoundRecord>(&*record))
        got = { notFound->name, notFound->originalSize, notFound->originalDate, notFound->error };
    else if (const auto* mismatch = std::get_if<MismatchRecord>(&*record))
        got = { mismatch->name, mismatch->targetSize, mismatch->originalSize, mismatch->targetDate,
            mismatch->originalDate, mismatch->error };
    QCOMPARE(toList(got), fields);
}

void tst_Records::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint64>("expected");
    QTest::addColumn<int>("error");
    QTest::newRow("digits") << "123" << qint64(123) << 0;
    QTest::newRow("blanks, sign and trailing text") << "  -42abc" << qint64(-42) << 0;
    QTest::newRow("plus sign") << "+7" << qint64(7) << 0;
    QTest::newRow("half rounds to even, down") << "2.5" << qint64(2) << 0;
    QTest::newRow("half rounds to even, up") << "3.5" << qint64(4) << 0;
    QTest::newRow("negative half") << "-2.5" << qint64(-2) << 0;
    QTest::newRow("exponent") << "1.5e1x" << qint64(15) << 0;
    QTest::newRow("e without digits is text") << "12e" << qint64(12) << 0;
    QTest::newRow("fraction only") << ".75" << qint64(1) << 0;
    QTest::newRow("no number") << "abc" << qint64(0) << 0;
    QTest::newRow("empty") << "" << qint64(0) << 0;
    QTest::newRow("sign alone") << "-" << qint64(0) << 0;
    QTest::newRow("beyond 32 bits") << "5000000000" << qint64(5000000000) << 0;
    QTest::newRow("largest 64-bit") << "9223372036854775807" << qint64(INT64_MAX) << 0;
    QTest::newRow("beyond 64 bits overflows") << "99999999999999999999" << qint64(-1) << 6;
    QTest::newRow("huge exponent overflows") << "1e30" << qint64(-1) << 6;
}

void tst_Records::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(qint64, expected);
    QFETCH(int, error);
    const Result<std::int64_t> value = deptest::leadingNumber(text.toStdString());
    QCOMPARE(value ? 0 : value.error().number, error);
    if (value)
        QCOMPARE(qint64(*value), expected);
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
            const Result<std::string> field = round % 2 == 0 ? reader.readField() : reader.readLine();
            taken += field ? field->size() : 0;
            QVERIFY2(++reads <= input.size() + 1, "a read consumed nothing");
        }
        QVERIFY(taken <= input.size());
    }
}

void tst_Records::hugeLine()
{
    // Longer than any path: refused as a bad name as soon as it is that
    // long, its start kept and the rest passed over without being held.
    for (const std::string quote : { "", "\"" }) {
        std::string input = quote + std::string(40 * 1024 * 1024, 'x') + quote + ",\"2\",\"d\"\r\n\"next\"";
        MemoryFile file(input, 1 << 20);
        RecordReader reader(file);
        const ReferenceRead read = readReference(reader);
        QCOMPARE(read.record.name, std::string(RecordReader::longestField, 'x'));
        QCOMPARE(read.failure, Outcome(Error::of(error::badFileName)));
        QCOMPARE(read.record.date, std::string("d")); // the record is read to its end
        QCOMPARE(reader.readField().value(), std::string("next"));
    }
    std::string input(40 * 1024 * 1024, 'x');
    MemoryFile file(input + "\r\nnext", 1 << 20);
    RecordReader reader(file);
    QCOMPARE(reader.readLine()->size(), RecordReader::longestField);
    QCOMPARE(reader.readLine().value(), std::string("next"));
}

namespace {

// Hands out its bytes, then fails like a disk that went away.
class BreakingFile final : public InputFile {
public:
    explicit BreakingFile(std::string bytes)
        : m_bytes(std::move(bytes))
    {
    }
    Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        if (m_done)
            return Error::of(error::deviceIo);
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
    const ReferenceRead read = readReference(reader);
    QCOMPARE(read.record.name, std::string("whole"));
    QCOMPARE(read.record.size, std::string()); // never the torn text
    QVERIFY(read.failure);
    QCOMPARE(QString::fromStdString(generalErrorMessage(*read.failure)), QStringLiteral("Error  57: Device I/O error"));
    QVERIFY(reader.atEnd());
    QCOMPARE(reader.fileError(), Outcome(Error::of(error::deviceIo)));
}

void tst_Records::digestLines_data()
{
    // What the list says of each name asked for ("name=" and the digest's
    // first byte, "name!" and why it has none, "name?" when it has no
    // line), then the lines that named no file.
    QTest::addColumn<QByteArray>("list");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QString>("expected");
    const QByteArray a = QByteArray(64, 'a');
    const QByteArray upper = "AB" + QByteArray(62, 'c');
    QTest::newRow("text and binary lines, CR LF too")
        << a + "  x.so\n" + upper + " *y.so\r\n"
        << QStringList { "x.so", "y.so", "z.so" } << "x.so=aa y.so=ab z.so?";
    QTest::newRow("a name with spaces and a star keeps them") << a + "  a b*.so \n"
                                                              << QStringList { "a b*.so " } << "a b*.so =aa";
    QTest::newRow("escaped names") << "\\" + a + "  sub\\\\x.dll\n\\" + a + "  two\\nlines\n"
                                   << QStringList { "sub\\x.dll", "two\nlines" } << "sub\\x.dll=aa two\nlines=aa";
    QTest::newRow("a backslash without the escape mark is the name's") << a
            + "  sub\\x.dll\n" << QStringList { "sub\\x.dll" } << "sub\\x.dll=aa";
    QTest::newRow("short digest") << a.left(63) + "  x.so\n"
                                  << QStringList { "x.so" }
                                  << "x.so!its digest in indll.sha256 is not 64 hexadecimal digits";
    QTest::newRow("not hexadecimal") << "g" + a.mid(1) + "  x.so\n"
                                     << QStringList { "x.so" }
                                     << "x.so!its digest in indll.sha256 is not 64 hexadecimal digits";
    QTest::newRow("listed twice, even alike") << a + "  x.so\n" + a + "  x.so\n"
                                              << QStringList { "x.so" } << "x.so!listed twice in indll.sha256";
    QTest::newRow("lines that name no file")
        << "\n" + a + "\n" + a + " x.so\n" + a + "  \n\\" + a + "  bad\\q\n" + a + "  ok.so"
        << QStringList { "ok.so", "x.so" } << "ok.so=aa x.so? bad:2,3,4,5";
    QTest::newRow("a line longer than any name") << QByteArray(400000, 'a') + "\n" + a + "  ok.so\n"
                                                 << QStringList { "ok.so" } << "ok.so=aa bad:1";
}

void tst_Records::digestLines()
{
    QFETCH(QByteArray, list);
    QFETCH(QStringList, names);
    QFETCH(QString, expected);
    DigestList digests;
    // In small pieces, so that lines are split anywhere.
    for (qsizetype at = 0; at < list.size(); at += 5)
        digests.add(std::string_view(
            list.constData() + at, static_cast<std::size_t>(std::min<qsizetype>(5, list.size() - at))));
    digests.finish();
    QStringList said;
    for (const QString& name : names) {
        const ListedDigest* listed = digests.find(name.toStdString());
        if (listed == nullptr)
            said << name + "?";
        else if (listed->digest)
            said << name + "=" + QString::number((*listed->digest)[0], 16);
        else
            said << name + "!" + QString::fromStdString(listed->problem);
    }
    QStringList bad;
    for (const std::size_t line : digests.malformedLines())
        bad << QString::number(line);
    if (!bad.isEmpty())
        said << "bad:" + bad.join(',');
    QCOMPARE(said.join(' '), expected);
    QVERIFY(digests.namesNotAsked().empty());
}

void tst_Records::digestLinesReadBackAsWritten()
{
    ContentDigest digest {};
    for (std::size_t i = 0; i < digest.size(); ++i)
        digest[i] = static_cast<std::uint8_t>(i * 9);
    QCOMPARE(QByteArray::fromStdString(digestLine("lib.so", digest)),
        "0009121b242d363f48515a636c757e879099a2abb4bdc6cfd8e1eaf3fc050e17  lib.so\n");
    std::string list;
    const std::vector<std::string> names { "plain.so", "sub\\x.dll", "cr\rlf\n.so", "\\\\n" };
    for (const std::string& name : names)
        list += digestLine(name, digest);
    DigestList read;
    read.add(list);
    QCOMPARE(read.size(), names.size());
    for (const std::string& name : names) {
        const ListedDigest* listed = read.find(name);
        QVERIFY2(listed != nullptr && listed->digest == digest, name.c_str());
    }
    QVERIFY(read.malformedLines().empty());
}

QTEST_GUILESS_MAIN(tst_Records)
#include "tst_records.moc"
