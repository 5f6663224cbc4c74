// libFuzzer target for the record reader: any bytes, read as fields and
// as lines in an order the input itself chooses, must neither crash nor
// read out of bounds, and every read must consume input or fail.

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
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
        if (++reads > size || taken > size)
            std::abort(); // a read that consumed nothing, or more than there was
    }
    return 0;
}
