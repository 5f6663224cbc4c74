#include "verify/EntryCheck.h"

#include "errors/ErrorState.h"
#include "records/LeadingNumber.h"
#include "services/Runtime.h"

namespace deptest {

namespace {

EntryVerdict notFound(
    const std::string& name, const std::string& originalSize, const std::string& originalDate, const Error& failure)
{
    return { ListBox::Missing, name + " - Error: " + failure.description,
        NotFoundRecord { name, originalSize, originalDate, failure.description } };
}

} // namespace

EntryVerdict checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode)
{
    const ReferenceRecord& reference = read.record;
    // The entry's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending;
    pending.raise(read.failure);

    std::int64_t originalSize = 0;
    if (Result<std::int64_t> size = leadingNumber(reference.size))
        originalSize = *size;
    else
        pending.raise(size.error());
    const std::string originalDate = runtime.longDate(reference.date);

    const Location location = locateFile(runtime, reference.name, mode, pending);
    std::string targetDate;
    if (!pending.pending()) {
        if (Result<std::string> date = runtime.longDate(location.measurement->modified))
            targetDate = std::move(date).value();
        else
            pending.raise(date.error());
    }
    if (pending.pending())
        return notFound(reference.name, std::to_string(originalSize), originalDate, pending.error());

    const std::int64_t targetSize = location.measurement->size;
    if (targetSize == originalSize && targetDate == originalDate)
        return { ListBox::Matching, reference.name, std::nullopt };
    return { ListBox::Missing, reference.name + " - Could not match date/size",
        MismatchRecord {
            reference.name, std::to_string(targetSize), std::to_string(originalSize), targetDate, originalDate } };
}

} // namespace deptest
