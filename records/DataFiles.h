#pragma once

#include "errors/Error.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace deptest {

class RecordReader;
class RecordWriter;

// The seven data files, each named by a literal appended to the
// application directory, and the records of the name, reference,
// exceptions and not-found lists (the digest list's are in DigestList.h,
// the signatures' in signing/). Every record is written and read through
// the definitions of its file.
namespace dataFile {
inline constexpr std::string_view nameList = "\\dlls.txt";
inline constexpr std::string_view referenceList = "\\indll.txt";
inline constexpr std::string_view exceptions = "\\outdll.txt";
inline constexpr std::string_view notFoundList = "\\dllerr.txt";
// Beside the reference list when contents are compared too (DigestList.h).
inline constexpr std::string_view digestList = "\\indll.sha256";
// Each list's signature beside it, in minisign's format (signing/).
inline constexpr std::string_view referenceSignature = "\\indll.txt.minisig";
inline constexpr std::string_view digestSignature = "\\indll.sha256.minisig";
// A data file's own name, without the separator ("indll.sha256").
constexpr std::string_view nameOf(std::string_view literal) { return literal.substr(1); }
inline constexpr std::array<std::string_view, 7> all {
    nameOf(nameList),
    nameOf(referenceList),
    nameOf(exceptions),
    nameOf(notFoundList),
    nameOf(digestList),
    nameOf(referenceSignature),
    nameOf(digestSignature),
};
} // namespace dataFile

inline std::string dataFilePath(std::string_view applicationDirectory, std::string_view literal)
{
    std::string path(applicationDirectory);
    path.append(literal);
    return path;
}

// The name list and the not-found list: one name per field, quoted or not.
// A name is read into `name`, which is left empty when the read fails.
Outcome readName(RecordReader& reader, std::string& name);
Outcome writeNotFoundName(RecordWriter& writer, std::string_view name);
Outcome writeName(RecordWriter& writer, std::string_view name);

// The reference list: name, size in bytes and long date, all quoted.
struct ReferenceRecord {
    std::string name;
    std::string size;
    std::string date;
};

// What reading a reference record gave: its fields are read in turn and
// reading stops at the first that fails, so the fields read so far keep
// their text and the rest stay empty.
struct ReferenceRead {
    ReferenceRecord record;
    Outcome failure;
};

Outcome writeReference(RecordWriter& writer, const ReferenceRecord& record);
ReferenceRead readReference(RecordReader& reader);
// The same into `read`, whose strings keep their memory from one record to
// the next.
void readReference(RecordReader& reader, ReferenceRead& read);

// The exceptions file: a first line that describes its six-field records,
// then one record per entry that did not match. Sizes are plain digits,
// the rest quoted text.
inline constexpr std::string_view exceptionsHeader
    = "Format: Filename, Size of file on target, size of original file, date of target file, date of original, error";

// A listed file that was not found: nothing was measured on this machine.
struct NotFoundRecord {
    std::string name;
    std::string originalSize;
    std::string originalDate;
    std::string error;

    friend bool operator==(const NotFoundRecord&, const NotFoundRecord&) = default;
};

// A file found with another size or date than on the reference machine.
struct MismatchRecord {
    std::string name;
    std::string targetSize;
    std::string originalSize;
    std::string targetDate;
    std::string originalDate;
    std::string error = "Bad date or size";

    friend bool operator==(const MismatchRecord&, const MismatchRecord&) = default;
};

using ExceptionRecord = std::variant<NotFoundRecord, MismatchRecord>;

// The fields of each kind of exception record in the file's order, for the
// writer and the reader alike: which member, and whether it is written as
// plain digits. A line of no more fields than a not-found record holds is
// one.
template <typename Record> struct ExceptionField {
    std::string Record::*member;
    bool digits;
};
inline constexpr std::array<ExceptionField<NotFoundRecord>, 4> notFoundFields { {
    { &NotFoundRecord::name, false },
    { &NotFoundRecord::originalSize, true },
    { &NotFoundRecord::originalDate, false },
    { &NotFoundRecord::error, false },
} };
inline constexpr std::array<ExceptionField<MismatchRecord>, 6> mismatchFields { {
    { &MismatchRecord::name, false },
    { &MismatchRecord::targetSize, true },
    { &MismatchRecord::originalSize, true },
    { &MismatchRecord::targetDate, false },
    { &MismatchRecord::originalDate, false },
    { &MismatchRecord::error, false },
} };

Outcome writeException(RecordWriter& writer, const ExceptionRecord& record);

// The record a line of the exceptions file holds: up to four fields are a
// not-found record, more are a mismatch record; fields a line lacks stay
// empty. A line without fields holds none.
std::optional<ExceptionRecord> exceptionFromLine(std::string_view line);

} // namespace deptest
