#include "records/RecordReader.h"

#include "platform/Files.h"

#include <algorithm>

namespace deptest {

namespace {

constexpr std::size_t bufferSize = std::size_t { 64 } * 1024;
constexpr std::string_view lineEnds = "\r\n";
constexpr std::string_view fieldEnds = ",\r\n";

} // namespace

RecordReader::RecordReader(InputFile& file)
    : m_file(file)
    , m_buffer(bufferSize)
{
}

bool RecordReader::fill()
{
    if (m_position < m_end)
        return true;
    if (m_exhausted)
        return false;
    m_position = 0;
    m_end = m_file.read(m_buffer.data(), m_buffer.size(), m_fileError);
    if (m_end == 0)
        m_exhausted = true;
    return m_end > 0;
}

int RecordReader::peek()
{
    if (!fill())
        return endOfFile;
    return static_cast<unsigned char>(m_buffer[m_position]);
}

bool RecordReader::atEnd() { return peek() == endOfFile; }

void RecordReader::takeUntil(std::string_view stops, std::string& out)
{
    while (fill()) {
        const char* begin = m_buffer.data() + m_position;
        const char* end = m_buffer.data() + m_end;
        const char* stop = std::find_first_of(begin, end, stops.begin(), stops.end());
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

bool RecordReader::failedMidway(ErrorState& state) const
{
    // The file broke off inside this read: what was read is not the field.
    if (!m_fileError.pending())
        return false;
    state.raise(m_fileError.number(), m_fileError.description());
    return true;
}

void RecordReader::raiseNothingLeft(ErrorState& state) const
{
    if (m_fileError.pending())
        state.raise(m_fileError.number(), m_fileError.description());
    else
        state.raise(error::inputPastEnd);
}

void RecordReader::readLine(std::string& target, ErrorState& state)
{
    if (atEnd()) {
        raiseNothingLeft(state);
        return;
    }
    std::string line;
    takeUntil(lineEnds, line);
    skipLineEnd();
    if (failedMidway(state))
        return;
    target = std::move(line);
}

void RecordReader::readField(std::string& target, ErrorState& state)
{
    for (int c = peek(); c == ' ' || c == '\r' || c == '\n'; c = peek())
        ++m_position;
    if (atEnd()) {
        raiseNothingLeft(state);
        return;
    }

    std::string field;
    if (peek() == '"') {
        ++m_position;
        takeUntil("\"", field);
        if (peek() == '"')
            ++m_position;
        std::string ignored;
        takeUntil(fieldEnds, ignored);
    } else {
        takeUntil(fieldEnds, field);
        field.erase(field.find_last_not_of(' ') + 1);
    }
    if (peek() == ',')
        ++m_position;
    else
        skipLineEnd();
    if (failedMidway(state))
        return;
    target = std::move(field);
}

void RecordReader::readFields(std::initializer_list<std::string*> targets, ErrorState& state)
{
    for (std::string* target : targets) {
        ErrorState attempt;
        readField(*target, attempt);
        if (attempt.pending()) {
            state.raise(attempt.number(), attempt.description());
            return;
        }
    }
}

} // namespace deptest
