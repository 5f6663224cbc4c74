#include "records/RecordReader.h"

#include "records/TextFile.h"
#include "services/Files.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace deptest {

namespace {

constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;
// UTF-16 read at a time: each unit gives at most 3 bytes of UTF-8, so
// what one read gives fits the buffer.
constexpr std::size_t utf16Chunk = bufferSize / 2;
using StopTable = std::array<bool, 256>;

constexpr StopTable stopTable(std::string_view stops)
{
    StopTable table {};
    for (const char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}

constexpr StopTable lineEndTable = stopTable("\r\n");
constexpr StopTable fieldEndTable = stopTable(",\r\n");

} // namespace

RecordReader::RecordReader(InputFile& file)
    : m_file(file)
    , m_buffer(bufferSize)
{
}

bool RecordReader::refill()
{
    if (!m_started) {
        m_started = true;
        skipByteOrderMark();
    }
    if (m_position < m_end)
        return true;
    if (m_exhausted)
        return false;
    m_position = 0;
    if (m_utf16 != Utf16::None)
        return refillFromUtf16();
    Result<std::size_t> got = m_file.read(m_buffer.data(), m_buffer.size());
    m_end = got ? *got : 0;
    if (!got)
        m_fileError = got.error();
    if (m_end == 0)
        m_exhausted = true;
    return m_end > 0;
}

void RecordReader::skipByteOrderMark()
{
    // The mark may arrive in pieces: read until three bytes are there.
    constexpr std::string_view mark = "\xEF\xBB\xBF";
    while (m_end < mark.size() && !m_exhausted) {
        Result<std::size_t> got = m_file.read(m_buffer.data() + m_end, m_buffer.size() - m_end);
        if (!got)
            m_fileError = got.error();
        if (!got || *got == 0)
            m_exhausted = true;
        else
            m_end += *got;
    }
    const std::string_view start(m_buffer.data(), m_end);
    if (start.starts_with(mark))
        m_position = mark.size();
    if (start.starts_with("\xFF\xFE") || start.starts_with("\xFE\xFF")) {
        // The bytes read so far are UTF-16, to be turned into text.
        m_utf16 = start[0] == '\xFF' ? Utf16::LittleEndian : Utf16::BigEndian;
        m_raw.resize(utf16Chunk);
        m_rawEnd = m_end - 2;
        std::copy(m_buffer.begin() + 2, m_buffer.begin() + static_cast<std::ptrdiff_t>(m_end), m_raw.begin());
        m_rawExhausted = m_exhausted;
        m_exhausted = false;
        m_position = 0;
        m_end = 0;
    }
}

namespace {

// Writes a code point as UTF-8; the number of bytes written.
std::size_t putUtf8(char* out, char32_t code)
{
    if (code < 0x80) {
        out[0] = static_cast<char>(code);
        return 1;
    }
    if (code < 0x800) {
        out[0] = static_cast<char>(0xC0 | (code >> 6));
        out[1] = static_cast<char>(0x80 | (code & 0x3F));
        return 2;
    }
    if (code < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (code >> 12));
        out[1] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (code & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (code >> 18));
    out[1] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (code & 0x3F));
    return 4;
}

} // namespace

char32_t RecordReader::utf16UnitAt(std::size_t at) const
{
    const auto first = static_cast<unsigned char>(m_raw[at]);
    const auto second = static_cast<unsigned char>(m_raw[at + 1]);
    return m_utf16 == Utf16::LittleEndian ? char32_t(first | (second << 8)) : char32_t((first << 8) | second);
}

void RecordReader::readUtf16()
{
    if (m_rawExhausted || m_rawEnd >= utf16Chunk)
        return;
    Result<std::size_t> got = m_file.read(m_raw.data() + m_rawEnd, utf16Chunk - m_rawEnd);
    if (!got)
        m_fileError = got.error();
    if (!got || *got == 0)
        m_rawExhausted = true;
    else
        m_rawEnd += *got;
}

std::size_t RecordReader::convertUtf16()
{
    constexpr char32_t replacement = 0xFFFD; // for half a pair, or an odd last byte
    const auto put = [this](char32_t code) { m_end += putUtf8(m_buffer.data() + m_end, code); };
    std::size_t at = 0;
    while (at + 1 < m_rawEnd) {
        const char32_t unit = utf16UnitAt(at);
        if (unit < 0xD800 || unit > 0xDFFF) {
            put(unit);
            at += 2;
        } else if (unit <= 0xDBFF && at + 3 < m_rawEnd) {
            const char32_t low = utf16UnitAt(at + 2);
            const bool paired = low >= 0xDC00 && low <= 0xDFFF;
            put(paired ? 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00) : replacement);
            at += paired ? 4 : 2;
        } else if (unit <= 0xDBFF && !m_rawExhausted) {
            break; // the other half is still to come
        } else {
            put(replacement);
            at += 2;
        }
    }
    if (m_rawExhausted && at < m_rawEnd) {
        put(replacement);
        at = m_rawEnd;
    }
    return at;
}

bool RecordReader::refillFromUtf16()
{
    m_end = 0;
    while (m_end == 0) {
        readUtf16();
        const std::size_t used = convertUtf16();
        std::copy(m_raw.begin() + static_cast<std::ptrdiff_t>(used),
            m_raw.begin() + static_cast<std::ptrdiff_t>(m_rawEnd), m_raw.begin());
        m_rawEnd -= used;
        if (m_end == 0 && m_rawExhausted) {
            m_exhausted = true;
            return false;
        }
    }
    return true;
}

bool RecordReader::atEnd() { return peek() == endOfFile; }

bool RecordReader::atEndOfRecords()
{
    // The blanks a field read skips before a field.
    for (int c = peek(); c == ' ' || c == '\r' || c == '\n'; c = peek())
        ++m_position;
    return atEnd();
}

namespace {

// Appends what fits below the longest field; true when some did not.
bool appendUpToLongest(std::string& out, const char* begin, const char* end)
{
    const std::size_t room = RecordReader::longestField - std::min(out.size(), RecordReader::longestField);
    const auto length = static_cast<std::size_t>(end - begin);
    out.append(begin, std::min(length, room));
    return length > room;
}

} // namespace

bool RecordReader::takeUntil(char stop, std::string& out)
{
    bool cut = false;
    while (fill()) {
        const char* begin = m_buffer.data() + m_position;
        const char* end = m_buffer.data() + m_end;
        const auto* found = static_cast<const char*>(std::memchr(begin, stop, static_cast<std::size_t>(end - begin)));
        const char* taken = found != nullptr ? found : end;
        cut = appendUpToLongest(out, begin, taken) || cut;
        m_position += static_cast<std::size_t>(taken - begin);
        if (found != nullptr)
            break;
    }
    return cut;
}

bool RecordReader::takeUntil(const StopTable& isStop, std::string& out)
{
    // A list is mostly letters and digits, each passed with one look-up.
    bool cut = false;
    while (fill()) {
        const char* begin = m_buffer.data() + m_position;
        const char* end = m_buffer.data() + m_end;
        const char* stop
            = std::find_if(begin, end, [&isStop](char c) { return isStop[static_cast<unsigned char>(c)]; });
        cut = appendUpToLongest(out, begin, stop) || cut;
        m_position += static_cast<std::size_t>(stop - begin);
        if (stop != end)
            break;
    }
    return cut;
}

void RecordReader::skipLineEnd()
{
    const int c = peek();
    if (c == '\r') {
        ++m_position;
        if (peek() == '\n')
            ++m_position;
    } else if (c == '\n') {
        ++m_position;
    }
}

Error RecordReader::nothingLeft() const { return m_fileError ? *m_fileError : Error::of(error::inputPastEnd); }

Result<std::string> RecordReader::readLine()
{
    if (atEnd())
        return nothingLeft();
    std::string line;
    (void)takeUntil(lineEndTable, line);
    skipLineEnd();
    // The file broke off inside this read: what was read is not the line.
    if (m_fileError)
        return *m_fileError;
    return line;
}

Result<std::string> RecordReader::readRecordLine()
{
    if (atEnd())
        return nothingLeft();
    std::string line;
    bool fieldStart = true;
    bool quoted = false;
    for (int c = peek(); c != endOfFile; c = peek()) {
        if (!quoted && (c == '\r' || c == '\n')) {
            skipLineEnd();
            break;
        }
        line += static_cast<char>(c);
        ++m_position;
        if (quoted)
            quoted = c != '"';
        else if (fieldStart && c == '"')
            quoted = true;
        if (!quoted)
            fieldStart = c == ',' || (fieldStart && c == ' ');
        else
            fieldStart = false;
    }
    // The file broke off inside this read: what was read is not the line.
    if (m_fileError)
        return *m_fileError;
    return line;
}

Result<std::string> RecordReader::readField()
{
    std::string field;
    if (Outcome failure = readField(field))
        return *failure;
    return field;
}

bool RecordReader::readBufferedField(std::string& field)
{
    if (m_fileError)
        return false;
    const char* begin = m_buffer.data() + m_position;
    const char* end = m_buffer.data() + m_end;
    const char* valueBegin = begin;
    const char* valueEnd = nullptr;
    const char* after = nullptr; // what ends the field: a comma or a line end
    if (*begin == '"') {
        valueBegin = begin + 1;
        valueEnd = static_cast<const char*>(std::memchr(valueBegin, '"', static_cast<std::size_t>(end - valueBegin)));
        if (valueEnd == nullptr)
            return false;
        after = valueEnd + 1;
    } else {
        after = std::find_if(begin, end, [](char c) { return fieldEndTable[static_cast<unsigned char>(c)]; });
        valueEnd = after;
    }
    // A line end's second byte is looked at too; a field that is too long
    // or goes on after its closing quote is left to the general reading.
    if (end - after < 2 || static_cast<std::size_t>(valueEnd - valueBegin) > longestField)
        return false;
    std::size_t ending = 1;
    if (*after == '\r')
        ending = after[1] == '\n' ? 2 : 1;
    else if (*after != ',' && *after != '\n')
        return false;
    field.assign(valueBegin, valueEnd);
    if (*begin != '"')
        field.erase(field.find_last_not_of(' ') + 1);
    m_position = static_cast<std::size_t>(after - m_buffer.data()) + ending;
    return true;
}

Outcome RecordReader::readField(std::string& field)
{
    field.clear();
    if (atEndOfRecords())
        return nothingLeft();
    // Most fields of a list are whole in the buffer.
    if (readBufferedField(field))
        return {};

    bool tooLong = false;
    bool unclosed = false;
    if (peek() == '"') {
        ++m_position;
        tooLong = takeUntil('"', field);
        if (peek() == '"')
            ++m_position;
        else
            unclosed = !m_fileError;
        std::string ignored;
        (void)takeUntil(fieldEndTable, ignored);
    } else {
        tooLong = takeUntil(fieldEndTable, field);
        field.erase(field.find_last_not_of(' ') + 1);
    }
    if (peek() == ',')
        ++m_position;
    else
        skipLineEnd();
    // The file broke off inside this read: what was read is not the field.
    if (m_fileError) {
        field.clear();
        return *m_fileError;
    }
    if (tooLong)
        return Error::of(error::badFileName);
    // The file ends before the field's closing quote: the list was cut
    // short, and the field may be too. What was read is kept.
    if (unclosed)
        return Error { error::inputPastEnd, std::string(RecordReader::unclosedQuote) };
    return {};
}

std::vector<std::string> splitFields(std::string_view line)
{
    TextFile source { std::string(line) };
    RecordReader reader(source);
    std::vector<std::string> fields;
    while (!reader.atEnd()) {
        std::string field;
        const Outcome failure = reader.readField(field);
        if (failure && failure->description != RecordReader::unclosedQuote)
            break; // only blanks were left
        fields.push_back(std::move(field));
    }
    return fields;
}

} // namespace deptest
