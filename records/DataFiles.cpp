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

Outcome writeException(RecordWriter& writer, const ExceptionRecord& record)
{
    if (const auto* notFound = std::get_if<NotFoundRecord>(&record))
        return writer.writeRecord(
            { notFound->name, Digits { notFound->originalSize }, notFound->originalDate, notFound->error });
    const auto& mismatch = std::get<MismatchRecord>(record);
    return writer.writeRecord({ mismatch.name, Digits { mismatch.targetSize }, Digits { mismatch.originalSize },
        mismatch.targetDate, mismatch.originalDate, mismatch.error });
}

std::optional<ExceptionRecord> exceptionFromLine(std::string_view line)
{
    std::vector<std::string> fields = splitFields(line);
    if (fields.empty())
        return std::nullopt;
    const std::size_t count = fields.size();
    fields.resize(6);
    if (count <= 4)
        return NotFoundRecord { fields[0], fields[1], fields[2], fields[3] };
    return MismatchRecord { fields[0], fields[1], fields[2], fields[3], fields[4], fields[5] };
}

} // namespace deptest
