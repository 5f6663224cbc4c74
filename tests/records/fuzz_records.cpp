// libFuzzer target for the record reader: any bytes, read as fields and
// as lines in an order the input itself chooses, and read as UTF-16, must
// neither crash nor read out of bounds, and every read must consume input
// or fail.

#include "records/DataFiles.h"
#include "records/RecordReader.h"
#include "services/Files.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

class FuzzInput final : public deptest::InputFile {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size, std::size_t piece)
        : m_data(data)
        , m_size(size)
        , m_piece(piece)
    {
    }
    deptest::Result<std::size_t> read(char* buffer, std::size_t size) override
    {
        const std::size_t count = std::min({ size, m_piece, m_size - m_position });
        std::memcpy(buffer, m_data + m_position, count);
        m_position += count;
        return count;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_piece;
    std::size_t m_position { 0 };
};

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

// The same bytes behind a UTF-16 byte-order mark (the first byte picks
// which, and the pieces): every field comes out as well-formed UTF-8, at
// most three bytes of it for two read, and every read consumes some.
void readAsUtf16(const std::uint8_t* data, std::size_t size)
{
    std::string bytes = (data[0] & 1) != 0 ? "\xFF\xFE" : "\xFE\xFF";
    bytes.append(reinterpret_cast<const char*>(data + 1), size - 1);
    FuzzInput file(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), 1 + data[0] % 7);
    deptest::RecordReader reader(file);
    std::size_t reads = 0;
    std::size_t taken = 0;
    while (!reader.atEnd()) {
        const auto field = reader.readField();
        if (field && !isWellFormedUtf8(*field))
            std::abort();
        taken += field ? field->size() : 0;
        if (++reads > 2 * size + 4 || taken > 2 * size + 4)
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    readAsUtf16(data, size);
    // The first byte picks how the file is handed out and read.
    const std::uint8_t mode = data[0];
    FuzzInput file(data + 1, size - 1, 1 + mode % 13);
    deptest::RecordReader reader(file);
    std::size_t reads = 0;
    std::size_t taken = 0;
    while (!reader.atEnd()) {
        switch ((mode >> 4) + reads % 3) {
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
        default: {
            const deptest::ReferenceRead read = deptest::readReference(reader);
            taken += read.record.name.size() + read.record.size.size() + read.record.date.size();
            break;
        }
        }
        if (++reads > 2 * size || taken > 2 * size)
            std::abort(); // a read that consumed nothing, or more than there was (UTF-16: 3 bytes for 2)
    }
    return 0;
}
