#include "records/RecordWriter.h"

#include "platform/Files.h"

namespace deptest {

namespace {

constexpr std::string_view lineEnd = "\r\n";

struct AppendField {
    std::string& line;
    void operator()(std::string_view text) const
    {
        line += '"';
        line += text;
        line += '"';
    }
    void operator()(std::int64_t number) const { line += std::to_string(number); }
};

} // namespace

void RecordWriter::writeRecord(std::initializer_list<Field> fields, ErrorState& state)
{
    m_line.clear();
    bool first = true;
    for (const Field& field : fields) {
        if (!first)
            m_line += ',';
        first = false;
        std::visit(AppendField { m_line }, field);
    }
    m_line += lineEnd;
    m_file.write(m_line, state);
}

void RecordWriter::writeLine(std::string_view text, ErrorState& state)
{
    m_line.assign(text);
    m_line += lineEnd;
    m_file.write(m_line, state);
}

} // namespace deptest
