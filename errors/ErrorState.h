#pragma once

#include "errors/Error.h"

#include <utility>

namespace deptest {

// The error state of a command that carries on after a failing step and
// tests the state afterwards. The rule it keeps: a failure stays pending
// until the command resets it or a later failure replaces it, and a step
// that succeeds leaves it as it found it. So an error still pending from
// an earlier step decides what a later test of the state sees.
class ErrorState {
public:
    ErrorState() = default;
    explicit ErrorState(const Outcome& outcome) { raise(outcome); }

    void raise(Error failure) { m_error = std::move(failure); }
    void raise(std::int32_t number) { raise(Error::of(number)); }
    // A failed step replaces the pending error; a step that succeeded leaves it.
    void raise(const Outcome& outcome)
    {
        if (outcome)
            raise(*outcome);
    }
    void reset() noexcept { m_error.number = error::none; }

    [[nodiscard]] bool pending() const noexcept { return m_error.number != error::none; }
    [[nodiscard]] std::int32_t number() const noexcept { return m_error.number; }
    [[nodiscard]] const Error& error() const noexcept { return m_error; }
    [[nodiscard]] Outcome outcome() const { return pending() ? Outcome { m_error } : Outcome {}; }

private:
    Error m_error;
};

// The first failure of a series, for failures that are reported once at
// the end rather than charged to the step that follows: a later failure
// does not replace an earlier one.
[[nodiscard]] inline Outcome firstFailure(Outcome first, Outcome next)
{
    return first ? std::move(first) : std::move(next);
}

} // namespace deptest
