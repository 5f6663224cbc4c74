#include "verify/EntryCheck.h"

#include "errors/ErrorState.h"
#include "records/LeadingNumber.h"
#include "services/Runtime.h"

namespace deptest {

namespace {

EntryVerdict notFound(const std::string& name, const std::string& originalSize, const std::string& originalDate,
    const Error& failure, const std::string& lastTried)
{
    return { ListBox::Missing, name + " - Error: " + failure.description,
        "Looked for last as " + lastTried + "\n" + generalErrorMessage(failure),
        NotFoundRecord { name, originalSize, originalDate, failure.description } };
}

// Both measurements side by side, the one that differs marked.
std::string mismatchDetail(const MismatchRecord& record)
{
    const auto line
        = [](std::string_view what, const std::string& here, const std::string& there, std::string_view unit) {
              std::string text(what);
              text += " here: " + here + std::string(unit) + "; on the reference machine: " + there + std::string(unit);
              if (here != there)
                  text += " (differs)";
              return text;
          };
    return line("Size", record.targetSize, record.originalSize, " bytes") + "\n"
        + line("Date", record.targetDate, record.originalDate, "");
}

} // namespace

EntryVerdict checkEntry(Runtime& runtime, const ReferenceRead& read, SearchMode mode)
{
    const ReferenceRecord& reference = read.record;
    // The entry's error state: a failed step replaces the pending error, a
    // successful one leaves it, and whatever is pending at the end decides.
    ErrorState pending(read.failure);

    std::int64_t originalSize = 0;
    if (Result<std::int64_t> size = leadingNumber(reference.size))
        originalSize = *size;
    else
        pending.raise(size.error());
    const std::string originalDate = runtime.longDate(reference.date);

    const Located found = locateFile(runtime, reference.name, mode, pending.outcome());
    const Location& location = found.location;
    pending = ErrorState(found.outcome);
    std::string targetDate;
    if (!pending.pending()) {
        if (Result<std::string> date = runtime.longDate(location.measurement->modified))
            targetDate = std::move(date).value();
        else
            pending.raise(date.error());
    }
    if (pending.pending())
        return notFound(reference.name, std::to_string(originalSize), originalDate, pending.error(),
            runtime.displayPath(location.path));

    const std::int64_t targetSize = location.measurement->size;
    if (targetSize == originalSize && targetDate == originalDate)
        return { ListBox::Matching, reference.name, {}, std::nullopt };
    const MismatchRecord mismatch { reference.name, std::to_string(targetSize), std::to_string(originalSize),
        targetDate, originalDate };
    return { ListBox::Missing, reference.name + " - Could not match date/size", mismatchDetail(mismatch), mismatch };
}

} // namespace deptest
