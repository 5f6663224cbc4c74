#pragma once

#include "errors/Error.h"

#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <variant>

namespace deptest {

class OutputFile;

// Digits written as they are, without quotes: a number kept as the text it
// was read as.
struct Digits {
    std::string_view text;
};

// A field of a record: text is written between double quotes as it is
// (a quote inside is not escaped), an integer or Digits as plain digits.
using Field = std::variant<std::string_view, std::int64_t, Digits>;

// Writes records and lines, each ended by CR LF.
class RecordWriter {
public:
    explicit RecordWriter(OutputFile& file)
        : m_file(file)
    {
    }

    Outcome writeRecord(std::initializer_list<Field> fields)
    {
        return writeRecord(std::span(fields.begin(), fields.size()));
    }
    Outcome writeRecord(std::span<const Field> fields);
    Outcome writeLine(std::string_view text);

private:
    OutputFile& m_file;
    std::string m_line;
};

} // namespace deptest
