#include "records/RecordReader.h"

#include "records/TextFile.h"
#include "services/Files.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace deptest {

namespace {

constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;
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
    if (std::string_view(m_buffer.data(), m_end).starts_with(mark))
        m_position = mark.size();
}

bool RecordReader::atEnd() { return peek() == endOfFile; }

bool RecordReader::atEndOfRecords()
{
    // The blanks a field read skips before a field.
    for (int c = peek(); c == ' ' || c == '\r' || c == '\n'; c = peek())
        ++m_position;
    return atEnd();
}

void RecordReader::takeUntil(char stop, std::string& out)
{
    while (fill()) {
        const char* begin = m_buffer.data() + m_position;
        const char* end = m_buffer.data() + m_end;
        const auto* found = static_cast<const char*>(std::memchr(begin, stop, static_cast<std::size_t>(end - begin)));
        const char* taken = found != nullptr ? found : end;
        out.append(begin, taken);
        m_position += static_cast<std::size_t>(taken - begin);
        if (found != nullptr)
            return;
    }
}

void RecordReader::takeUntil(const StopTable& isStop, std::string& out)
{
    // A list is mostly letters and digits, each passed with one look-up.
    while (fill()) {
        const char* begin = m_buffer.data() + m_position;
        const char* end = m_buffer.data() + m_end;
        const char* stop
            = std::find_if(begin, end, [&isStop](char c) { return isStop[static_cast<unsigned char>(c)]; });
        out.append(begin, stop);
        m_position += static_cast<std::size_t>(stop - begin);
        if (stop != end)
            return;
    }
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
    takeUntil(lineEndTable, line);
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

Outcome RecordReader::readField(std::string& field)
{
    field.clear();
    if (atEndOfRecords())
        return nothingLeft();

    if (peek() == '"') {
        ++m_position;
        takeUntil('"', field);
        if (peek() == '"')
            ++m_position;
        std::string ignored;
        takeUntil(fieldEndTable, ignored);
    } else {
        takeUntil(fieldEndTable, field);
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
    return {};
}

std::vector<std::string> splitFields(std::string_view line)
{
    TextFile source { std::string(line) };
    RecordReader reader(source);
    std::vector<std::string> fields;
    while (!reader.atEnd()) {
        Result<std::string> field = reader.readField();
        if (!field)
            break; // only blanks were left
        fields.push_back(std::move(field).value());
    }
    return fields;
}

} // namespace deptest
