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
// it, is not part of the first line. A file that starts with a UTF-16
// byte-order mark (little- or big-endian, as Windows PowerShell and
// Notepad write lists) is read as that text, in UTF-8. A read that finds
// nothing left is 62; an I/O failure of the file is its own error. Any
// bytes are safe.
//
// A field longer than any path can be (`longestField` bytes) is refused
// with 52, "Bad file name or number", as soon as it is that long: its
// first `longestField` bytes are kept and the rest passed over. A line
// is cut there too.
class RecordReader {
public:
    // The longest path Windows takes, 32,767 UTF-16 units, in UTF-8.
    static constexpr std::size_t longestField = std::size_t { 32767 } * 3;

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
    // The same into `field`, which is left empty when the read fails,
    // except for a quoted field the file ends in before its closing quote:
    // that keeps what was read, and the read fails with 62 and
    // `unclosedQuote`.
    Outcome readField(std::string& field);

    static constexpr std::string_view unclosedQuote = "Input past end of file inside a quoted field";

    // The I/O failure that ended the file early, if any.
    [[nodiscard]] const Outcome& fileError() const noexcept { return m_fileError; }

private:
    static constexpr int endOfFile = -1;

    // The next byte, not consumed; inline, as every field starts here.
    int peek() { return fill() ? static_cast<unsigned char>(m_buffer[m_position]) : endOfFile; }
    // Consumes bytes up to the first `stop` (not consumed), appending them
    // while `out` is shorter than `longestField`; true when some had to be
    // passed over.
    bool takeUntil(char stop, std::string& out);
    // The same up to the first byte `isStop` marks.
    bool takeUntil(const std::array<bool, 256>& isStop, std::string& out);
    void skipLineEnd();
    // Reads a field whose end, and what ends it, are in the buffer
    // already, as the rules above read it; false, having read nothing,
    // for any other.
    bool readBufferedField(std::string& field);
    [[nodiscard]] Error nothingLeft() const;
    // True when a byte is buffered, reading more when none is; inline, as
    // every byte of a list passes here.
    bool fill() { return m_position < m_end || refill(); }
    bool refill();
    void skipByteOrderMark();
    // Reads UTF-16 and puts it into the buffer as UTF-8.
    bool refillFromUtf16();
    // Reads more of a UTF-16 file's bytes, up to a chunk.
    void readUtf16();
    // Turns the UTF-16 bytes read into UTF-8 in the buffer; the number of
    // bytes used (a pair's first half waits for its second).
    std::size_t convertUtf16();
    [[nodiscard]] char32_t utf16UnitAt(std::size_t at) const;

    InputFile& m_file;
    std::vector<char> m_buffer;
    // A UTF-16 file's bytes not yet turned into UTF-8, and its byte order.
    enum class Utf16 { None, LittleEndian, BigEndian } m_utf16 { Utf16::None };
    std::vector<char> m_raw;
    std::size_t m_rawEnd { 0 };
    bool m_rawExhausted { false };
    std::size_t m_position { 0 };
    std::size_t m_end { 0 };
    bool m_exhausted { false };
    bool m_started { false };
    Outcome m_fileError;
};

// The fields of one line, read with the same field rules as every list.
std::vector<std::string> splitFields(std::string_view line);

} // namespace deptest
