#include "records/DataFiles.h"

#include "records/RecordReader.h"
#include "records/RecordWriter.h"

#include <utility>
#include <vector>

namespace deptest {

Outcome readName(RecordReader& reader, std::string& name) { return reader.readField(name); }

Outcome writeNotFoundName(RecordWriter& writer, std::string_view name) { return writer.writeRecord({ name }); }

Outcome writeName(RecordWriter& writer, std::string_view name) { return writer.writeRecord({ name }); }

Outcome writeReference(RecordWriter& writer, const ReferenceRecord& record)
{
    return writer.writeRecord({ record.name, record.size, record.date });
}

ReferenceRead readReference(RecordReader& reader)
{
    ReferenceRead read;
    readReference(reader, read);
    return read;
}

void readReference(RecordReader& reader, ReferenceRead& read)
{
    read.failure.reset();
    bool failed = false;
    for (std::string* field : { &read.record.name, &read.record.size, &read.record.date }) {
        if (failed) {
            field->clear();
            continue;
        }
        // A field too long for any path is refused, but the rest of its
        // record is read, so that the next record starts where it should.
        Outcome got = reader.readField(*field);
        failed = got && got->number != error::badFileName;
        if (got && !read.failure)
            read.failure = std::move(got);
    }
}

namespace {

template <typename Record, std::size_t count>
Outcome writeFields(RecordWriter& writer, const Record& record, const std::array<ExceptionField<Record>, count>& table)
{
    std::array<Field, count> fields;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& text = record.*table[i].member;
        fields[i] = table[i].digits ? Field { Digits { text } } : Field { std::string_view(text) };
    }
    return writer.writeRecord(fields);
}

// Fields a line lacks stay empty.
template <typename Record, std::size_t count>
Record fromFields(std::vector<std::string>& fields, const std::array<ExceptionField<Record>, count>& table)
{
    fields.resize(count);
    Record record;
    for (std::size_t i = 0; i < count; ++i)
        record.*table[i].member = std::move(fields[i]);
    return record;
}

} // namespace

Outcome writeException(RecordWriter& writer, const ExceptionRecord& record)
{
    if (const auto* notFound = std::get_if<NotFoundRecord>(&record))
        return writeFields(writer, *notFound, notFoundFields);
    return writeFields(writer, std::get<MismatchRecord>(record), mismatchFields);
}

std::optional<ExceptionRecord> exceptionFromLine(std::string_view line)
{
    std::vector<std::string> fields = splitFields(line);
    if (fields.empty())
        return std::nullopt;
    if (fields.size() <= notFoundFields.size())
        return fromFields(fields, notFoundFields);
    return fromFields(fields, mismatchFields);
}

} // namespace deptest
