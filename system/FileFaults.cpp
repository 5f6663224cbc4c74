#include "system/FileFaults.h"

#include "errors/Messages.h"

#include <string>
#include <utility>

namespace deptest {

namespace {

Error fault(std::int32_t number, std::string_view text) { return { number, std::string(text) }; }

} // namespace

Error changedWhileRead() { return fault(error::pathFileAccess, message::fileChangedWhileRead); }

Error notPlainFile(std::string_view path, std::string_view what)
{
    std::string text(path);
    text.append(" is ").append(what).append(message::notPlainFileEnding);
    return { error::pathFileAccess, std::move(text) };
}

Error moreBytesThanItsSize(std::string_view path)
{
    return { error::pathFileAccess, std::string(path).append(message::moreBytesThanItsSize) };
}

Error notRegularForDigest() { return fault(error::pathFileAccess, message::notRegularForDigest); }
Error stoppedOnRequest() { return fault(error::pathFileAccess, message::stoppedOnRequest); }
Error digestNotComputed() { return fault(error::deviceIo, message::digestNotComputed); }

Error binaryIsDirectory() { return fault(error::pathFileAccess, message::binaryIsDirectory); }
Error binaryNotRegular() { return fault(error::pathFileAccess, message::binaryNotRegular); }
Error binaryIsEmpty() { return fault(error::inputPastEnd, message::binaryIsEmpty); }
Error binaryTooLarge() { return fault(error::pathFileAccess, message::binaryTooLarge); }
Error binaryCutShort() { return fault(error::inputPastEnd, message::binaryCutShort); }

} // namespace deptest
