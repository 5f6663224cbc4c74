#pragma once

#include "errors/Error.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace deptest {

class InputFile;

// Reads lines and comma-separated fields from a sequential file. A line
// ends with CR LF, a lone LF or a lone CR. A field is either quoted (every
// byte up to the next quote, then the rest up to the next comma or line
// end is skipped) or plain (up to the next comma or line end, trailing
// spaces dropped). Fields are read without regard to lines.
//
// A UTF-8 byte-order mark at the very start, as editors on Windows write
// it, is not part of the first line. A read that finds nothing left is 62;
// an I/O failure of the file is its own error. Any bytes are safe.
class RecordReader {
public:
    explicit RecordReader(InputFile& file);

    // True when nothing is left to read (also after the file failed).
    [[nodiscard]] bool atEnd();
    // True when nothing but blank lines is left: the list has ended. Skips
    // the blanks, which the next field read would skip too.
    [[nodiscard]] bool atEndOfRecords();
    Result<std::string> readLine();
    // A line of records: like readLine(), except that a quoted field runs
    // on across line ends to its closing quote, so a record whose text
    // holds a line end is read whole.
    Result<std::string> readRecordLine();
    Result<std::string> readField();
    // The same into `field`, which is left empty when the read fails.
    Outcome readField(std::string& field);

    // The I/O failure that ended the file early, if any.
    [[nodiscard]] const Outcome& fileError() const noexcept { return m_fileError; }

private:
    static constexpr int endOfFile = -1;

    // The next byte, not consumed; inline, as every field starts here.
    int peek() { return fill() ? static_cast<unsigned char>(m_buffer[m_position]) : endOfFile; }
    // Consumes bytes up to the first `stop` (not consumed), appending them.
    void takeUntil(char stop, std::string& out);
    // The same up to the first byte `isStop` marks.
    void takeUntil(const std::array<bool, 256>& isStop, std::string& out);
    void skipLineEnd();
    [[nodiscard]] Error nothingLeft() const;
    // True when a byte is buffered, reading more when none is; inline, as
    // every byte of a list passes here.
    bool fill() { return m_position < m_end || refill(); }
    bool refill();
    void skipByteOrderMark();

    InputFile& m_file;
    std::vector<char> m_buffer;
    std::size_t m_position { 0 };
    std::size_t m_end { 0 };
    bool m_exhausted { false };
    bool m_started { false };
    Outcome m_fileError;
};

// The fields of one line, read with the same field rules as every list.
std::vector<std::string> splitFields(std::string_view line);

} // namespace deptest
