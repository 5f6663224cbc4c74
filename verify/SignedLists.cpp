#include "verify/SignedLists.h"

#include "errors/Messages.h"
#include "records/DataFiles.h"
#include "services/Files.h"
#include "services/Runtime.h"
#include "services/Window.h"

#include <array>

namespace deptest {

using dataFile::nameOf;

Result<std::vector<signing::TrustedKey>> trustedKeys(Runtime& runtime)
{
    auto files = runtime.trustedKeyFiles();
    if (!files)
        return files.error();
    return signing::readTrustedKeys(*files);
}

Result<std::optional<std::string>> readWhole(InputFile& file, std::size_t most)
{
    std::string bytes;
    std::array<char, 65536> buffer {};
    for (;;) {
        const Result<std::size_t> got = file.read(buffer.data(), buffer.size());
        if (!got)
            return got.error();
        if (*got == 0)
            return std::optional<std::string>(std::move(bytes));
        if (bytes.size() + *got > most)
            return Error { error::pathFileAccess, std::string(message::largerThanSuchAFile) };
        bytes.append(buffer.data(), *got);
    }
}

Result<std::optional<std::string>> readWhole(Runtime& runtime, const std::string& path, std::size_t most)
{
    auto file = runtime.openForReading(path);
    if (!file) {
        if (file.error().number == error::fileNotFound)
            return std::optional<std::string>();
        return file.error();
    }
    return readWhole(**file, most);
}

Outcome checkSignature(Window& window, Runtime& runtime, std::span<const signing::TrustedKey> keys,
    std::string_view literal, std::string_view signatureLiteral, std::string_view bytes)
{
    const std::string directory = runtime.applicationDirectory();
    const auto refused = [&](const Error& why) {
        return Error { why.number, message::listRefused(nameOf(literal), why.description) };
    };
    auto signature = readWhole(runtime, dataFilePath(directory, signatureLiteral), signing::largestFile);
    if (!signature)
        return refused(Error { signature.error().number,
            message::signatureUnreadable(nameOf(signatureLiteral), signature.error().description) });
    auto signedBy = signing::checkList(bytes, *signature, keys);
    if (!signedBy)
        return refused(signedBy.error());
    window.noteSignature({ std::string(nameOf(literal)), true, signedBy->keyId, signedBy->trustedComment });
    return {};
}

void noteUncheckedSignature(
    Window& window, Runtime& runtime, std::string_view literal, std::string_view signatureLiteral)
{
    const auto signature = runtime.openForReading(dataFilePath(runtime.applicationDirectory(), signatureLiteral));
    if (signature || signature.error().number != error::fileNotFound)
        window.noteSignature({ std::string(nameOf(literal)), false, {}, {} });
}

} // namespace deptest
