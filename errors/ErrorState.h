#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace deptest {

// Error numbers the program raises. The numbering is that of classic
// runtime file and printer operations, so the same fault reads the same
// everywhere.
namespace error {
inline constexpr std::int32_t none = 0;
inline constexpr std::int32_t invalidArgument = 5;
inline constexpr std::int32_t overflow = 6;
inline constexpr std::int32_t deviceIo = 57;
inline constexpr std::int32_t badFileName = 52;
inline constexpr std::int32_t fileNotFound = 53;
inline constexpr std::int32_t diskFull = 61;
inline constexpr std::int32_t inputPastEnd = 62;
inline constexpr std::int32_t tooManyFiles = 67;
inline constexpr std::int32_t permissionDenied = 70;
inline constexpr std::int32_t pathFileAccess = 75;
inline constexpr std::int32_t pathNotFound = 76;
inline constexpr std::int32_t printer = 482;
} // namespace error

// The description a number carries when nothing more specific is known.
std::string_view standardDescription(std::int32_t number);

// How a command reacts to a failing step. Continue: the step is abandoned
// and the command tests the number afterwards. Handler: the command hands
// the failure to its handler straight away.
enum class ErrorMode { Off, Continue, Handler };

// The error state of one running command. A failing operation raises into
// the state it is handed and leaves the value it was to deliver alone; a
// successful one leaves the state as it found it, so an error stays pending
// until the command resets it or a later error replaces it.
class ErrorState {
public:
    ErrorState() = default;
    explicit ErrorState(ErrorMode mode)
        : m_mode(mode)
    {
    }

    void raise(std::int32_t number);
    void raise(std::int32_t number, std::string description);
    void reset() noexcept { m_number = error::none; }

    [[nodiscard]] std::int32_t number() const noexcept { return m_number; }
    [[nodiscard]] const std::string& description() const noexcept { return m_description; }
    [[nodiscard]] bool pending() const noexcept { return m_number != error::none; }

    [[nodiscard]] ErrorMode mode() const noexcept { return m_mode; }
    void setMode(ErrorMode mode) noexcept { m_mode = mode; }

    // Keeps the first failure of a series: used where failures must be
    // reported once at the end rather than charged to the step that follows.
    void keepFirst(const ErrorState& other);

private:
    std::int32_t m_number { error::none };
    std::string m_description;
    ErrorMode m_mode { ErrorMode::Off };
};

// "Error " + the number with a sign position (space or minus) + ": " +
// the description, e.g. "Error  53: File not found".
std::string generalErrorMessage(const ErrorState& state);

// What a command shows when it cannot open one of its files: its own
// not-found text for 53, the general error message for anything else.
std::string openFailureMessage(const ErrorState& state, std::string_view notFoundMessage);

} // namespace deptest
