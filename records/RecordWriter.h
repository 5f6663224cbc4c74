#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace deptest {

class ErrorState;
class OutputFile;

// A field of a record: text is written between double quotes as it is
// (a quote inside is not escaped), an integer as its decimal digits.
using Field = std::variant<std::string_view, std::int64_t>;

// Writes records and lines, each ended by CR LF.
class RecordWriter {
public:
    explicit RecordWriter(OutputFile& file)
        : m_file(file)
    {
    }

    void writeRecord(std::initializer_list<Field> fields, ErrorState& state);
    void writeLine(std::string_view text, ErrorState& state);

private:
    OutputFile& m_file;
    std::string m_line;
};

} // namespace deptest
