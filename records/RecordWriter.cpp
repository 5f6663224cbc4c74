#include "records/RecordWriter.h"

#include "services/Files.h"

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
    void operator()(Digits digits) const { line += digits.text; }
};

} // namespace

Outcome RecordWriter::writeRecord(std::span<const Field> fields)
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
    return m_file.write(m_line);
}

Outcome RecordWriter::writeLine(std::string_view text)
{
    m_line.assign(text);
    m_line += lineEnd;
    return m_file.write(m_line);
}

} // namespace deptest
