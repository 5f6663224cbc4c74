#pragma once

#include "errors/Error.h"
#include "records/DataFiles.h"
#include "services/FileMeasurement.h"
#include "signing/Signatures.h"

#include <functional>
#include <optional>
#include <string>

namespace deptest {

class Runtime;

// What one listed name came to: its reference record, or the failure that
// put it on the not-found list; `where` is the path found at or tried last,
// as the program names it.
struct NameOutcome {
    std::string name;
    std::string where;
    std::optional<ReferenceRecord> record;
    // The file's contents, when the generation writes the digest list.
    std::optional<ContentDigest> digest;
    Error failure;
};
// Returns whether to go on with the next name.
using NameObserver = std::function<bool(const NameOutcome&)>;

// Whether the generation writes the digest list (indll.sha256) beside the
// two lists: as it finds it (while one is there it is kept current), or
// made, or removed.
enum class DigestChoice { AsFound, Make, Remove };

// Whether the generation signs the lists it writes. With a key, each list
// written (indll.txt, and indll.sha256 when it is written) gets its
// signature beside it, put in place with the lists. Without one, a
// signature that the new list would no longer match is removed, and
// `removed` is told its name.
struct ListSigning {
    std::optional<signing::SecretKey> key;
    std::string trustedComment;
    std::function<void(std::string_view signatureFile)> removed;
};

// The key the runtime is configured to sign with, opened (its password
// asked for when it has one), with this generation's trusted comment; no
// key when none is configured. A key that cannot be used is a failure
// naming its file.
Result<ListSigning> configuredSigning(Runtime& runtime);

// The hidden Ctrl+B command: measures every file named in the name list
// with the full search and writes a reference record for each one found
// and a not-found record for each one that is not. It touches no list of
// the window and is silent when it succeeds; a failed write is reported
// once at its end. An observer that asks to stop ends it after the name
// at hand, and the old lists stay as they were. With digests, a file whose
// contents cannot be read goes to the not-found list; the three lists
// replace the old ones together, or none does.
//
// With more than one job, that many names' searches, measurements and
// digests are under way at once; the lists and the observer see the names
// in the name list's order, as with one. `chosenLookupJobs` lets the
// program choose how many.
void generateReference(Runtime& runtime, const NameObserver& observer = {},
    DigestChoice digests = DigestChoice::AsFound, const ListSigning& signing = {}, int jobs = 1);

} // namespace deptest
