// libFuzzer target for the record reader: any bytes, read as fields, lines
// and records in an order the input itself chooses, and read as UTF-16,
// must neither crash nor read out of bounds, and every read must consume
// input or fail. The same bytes, cut into texts, are written as each list's
// records and must read back exactly as written.

#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "records/RecordWriter.h"
#include "records/TextFile.h"
#include "services/Files.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace deptest;

class StringOutput final : public OutputFile {
public:
    Outcome write(std::string_view bytes) override
    {
        text.append(bytes);
        return {};
    }
    Outcome finish() override { return {}; }
    Outcome close() override { return {}; }
    std::string text;
};

void expect(bool condition)
{
    if (!condition)
        std::abort();
}

// Every reader in turn, starting with the one the input picks.
void readAnyhow(const std::string& bytes, std::uint8_t mode, std::size_t piece)
{
    TextFile file(bytes, piece);
    RecordReader reader(file);
    std::size_t reads = 0;
    std::size_t taken = 0;
    while (!reader.atEnd()) {
        switch (((mode >> 4) + reads) % 4) {
        case 0: {
            const auto line = reader.readLine();
            taken += line ? line->size() : 0;
            break;
        }
        case 1: {
            const auto field = reader.readField();
            taken += field ? field->size() : 0;
            break;
        }
        case 2: {
            const ReferenceRead read = readReference(reader);
            taken += read.record.name.size() + read.record.size.size() + read.record.date.size();
            break;
        }
        default: {
            const auto line = reader.readRecordLine();
            taken += line ? line->size() : 0;
            if (line)
                (void)exceptionFromLine(*line);
            break;
        }
        }
        // A read that consumed nothing, or more than there was (UTF-16
        // behind a byte-order mark: three bytes for two).
        expect(++reads <= bytes.size() && taken <= 2 * bytes.size());
    }
}

// Whether bytes are well-formed UTF-8: no stray or missing continuation,
// no overlong form, no surrogate, nothing beyond U+10FFFF.
bool isWellFormedUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = lead < 0x80 ? 1
            : lead < 0xC2                      ? 0
            : lead < 0xE0                      ? 2
            : lead < 0xF0                      ? 3
            : lead < 0xF5                      ? 4
                                               : 0;
        if (length == 0 || at + length > text.size())
            return false;
        for (std::size_t next = 1; next < length; ++next) {
            const auto byte = static_cast<unsigned char>(text[at + next]);
            // The second byte's range rules out overlong forms, surrogates and beyond U+10FFFF.
            const unsigned char low = next > 1 ? 0x80 : lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = next > 1 ? 0xBF : lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            if (byte < low || byte > high)
                return false;
        }
        at += length;
    }
    return true;
}

// The same bytes behind a UTF-16 byte-order mark (the mode picks which):
// every field comes out as well-formed UTF-8, at most three bytes of it
// for two read, and every read consumes some.
void readAsUtf16(const std::string& bytes, std::uint8_t mode, std::size_t piece)
{
    const std::string text = ((mode & 1) != 0 ? "\xFF\xFE" : "\xFE\xFF") + bytes;
    TextFile file(text, piece);
    RecordReader reader(file);
    std::size_t reads = 0;
    std::size_t taken = 0;
    while (!reader.atEnd()) {
        const auto field = reader.readField();
        expect(!field || isWellFormedUtf8(*field));
        taken += field ? field->size() : 0;
        expect(++reads <= text.size() && taken <= 2 * text.size());
    }
}

// What the program writes into each list reads back as written, in pieces
// of any size. A text cannot hold a double quote (the program never writes
// one), so the input's quotes cut it into texts; sizes are their digits.
void readBackAsWritten(const std::string& bytes, std::size_t piece)
{
    std::vector<std::string> texts(1);
    for (const char c : bytes) {
        if (c == '"')
            texts.emplace_back();
        else
            texts.back() += c;
    }
    texts.resize((texts.size() + 5) / 6 * 6);
    const auto digits = [](std::string text) {
        std::erase_if(text, [](char c) { return c < '0' || c > '9'; });
        return text;
    };

    StringOutput names;
    StringOutput references;
    StringOutput exceptions;
    RecordWriter nameWriter(names);
    RecordWriter referenceWriter(references);
    RecordWriter exceptionWriter(exceptions);
    std::vector<ReferenceRecord> referenceRecords;
    std::vector<ExceptionRecord> exceptionRecords;
    expect(!exceptionWriter.writeLine(exceptionsHeader));
    for (std::size_t i = 0; i < texts.size(); i += 6) {
        const auto text = [&](std::size_t n) { return texts[i + n]; };
        expect(!writeName(nameWriter, text(0)));
        referenceRecords.push_back({ text(0), text(1), text(2) });
        exceptionRecords.emplace_back(NotFoundRecord { text(3), digits(text(4)), text(5), text(0) });
        exceptionRecords.emplace_back(
            MismatchRecord { text(1), digits(text(2)), digits(text(3)), text(4), text(5), text(0) });
        expect(!writeReference(referenceWriter, referenceRecords.back()));
        for (std::size_t n = exceptionRecords.size() - 2; n < exceptionRecords.size(); ++n)
            expect(!writeException(exceptionWriter, exceptionRecords[n]));
    }

    TextFile nameFile(names.text, piece);
    RecordReader nameReader(nameFile);
    std::string name;
    for (std::size_t i = 0; i < texts.size(); i += 6)
        expect(!readName(nameReader, name) && name == texts[i]);
    expect(nameReader.atEndOfRecords());

    TextFile referenceFile(references.text, piece);
    RecordReader referenceReader(referenceFile);
    for (const ReferenceRecord& written : referenceRecords) {
        const ReferenceRead read = readReference(referenceReader);
        expect(!read.failure && read.record.name == written.name && read.record.size == written.size
            && read.record.date == written.date);
    }
    expect(referenceReader.atEndOfRecords());

    TextFile exceptionFile(exceptions.text, piece);
    RecordReader exceptionReader(exceptionFile);
    const auto header = exceptionReader.readLine();
    expect(header && *header == exceptionsHeader);
    for (const ExceptionRecord& written : exceptionRecords) {
        const auto line = exceptionReader.readRecordLine();
        expect(line && exceptionFromLine(*line) == written);
    }
    expect(exceptionReader.atEnd());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks how the file is handed out and read.
    const std::uint8_t mode = data[0];
    const std::size_t piece = 1 + mode % 13;
    const std::string bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
    readAnyhow(bytes, mode, piece);
    readAsUtf16(bytes, mode, piece);
    readBackAsWritten(bytes, piece);
    return 0;
}
