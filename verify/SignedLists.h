#pragma once

#include "errors/Error.h"
#include "signing/ListSignature.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace deptest {

class InputFile;
class Runtime;
class Window;

// The signatures of a test run's lists: read before any entry is compared,
// checked against the keys the administrator trusts, over the very bytes
// the run then reads (each list is read once, into memory, and the run
// reads that copy, so nothing can change between the check and the read).

// The trusted keys of this run; a key file that cannot be read or holds
// no public key fails the run, which then gives no verdict.
Result<std::vector<signing::TrustedKey>> trustedKeys(Runtime& runtime);

// The whole of a file that the run reads; nothing when it is not there.
// `most` bytes at most: a larger file is refused (75) without reading on.
Result<std::optional<std::string>> readWhole(InputFile& file, std::size_t most);
Result<std::optional<std::string>> readWhole(Runtime& runtime, const std::string& path, std::size_t most);

// Checks `bytes`, the list `literal` as read, against its signature beside
// it (`signatureLiteral`) and tells the window who signed it. With no key,
// nothing is checked: a signature there is noted as not checked. A list
// refused fails with 75 and a text naming it and the reason.
Outcome checkSignature(Window& window, Runtime& runtime, std::span<const signing::TrustedKey> keys,
    std::string_view literal, std::string_view signatureLiteral, std::string_view bytes);

// Whether the list `literal` has a signature beside it (for the note "not
// checked: no trusted key").
void noteUncheckedSignature(
    Window& window, Runtime& runtime, std::string_view literal, std::string_view signatureLiteral);

} // namespace deptest
