#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace deptest {

// Error numbers the program raises. The numbering is that of classic
// runtime file and printer operations, so the same fault reads the same
// everywhere.
namespace error {
inline constexpr std::int32_t none = 0;
inline constexpr std::int32_t invalidArgument = 5;
inline constexpr std::int32_t overflow = 6;
inline constexpr std::int32_t badFileName = 52;
inline constexpr std::int32_t fileNotFound = 53;
inline constexpr std::int32_t deviceIo = 57;
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

// One failure: its number and the text the user sees with it.
struct Error {
    std::int32_t number { error::none };
    std::string description;

    // The failure with its standard description.
    static Error of(std::int32_t number) { return { number, std::string(standardDescription(number)) }; }

    friend bool operator==(const Error&, const Error&) = default;
};

// What a step that delivers nothing reports: empty when it succeeded.
using Outcome = std::optional<Error>;

// What a step that delivers a value reports: the value, or why there is none.
template <typename T> class [[nodiscard]] Result {
public:
    // Implicit both ways, so that a step returns its value or its failure as it is.
    Result(T value) // NOLINT(google-explicit-constructor)
        : m_content(std::in_place_index<0>, std::move(value))
    {
    }
    Result(Error failure) // NOLINT(google-explicit-constructor)
        : m_content(std::in_place_index<1>, std::move(failure))
    {
    }

    [[nodiscard]] bool ok() const noexcept { return m_content.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    [[nodiscard]] T& value() & { return std::get<0>(m_content); }
    [[nodiscard]] const T& value() const& { return std::get<0>(m_content); }
    [[nodiscard]] T&& value() && { return std::get<0>(std::move(m_content)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    [[nodiscard]] const Error& error() const { return std::get<1>(m_content); }
    // The failure, if there is one, for code that gathers outcomes.
    [[nodiscard]] Outcome failure() const { return ok() ? Outcome {} : Outcome { error() }; }

private:
    std::variant<T, Error> m_content;
};

// "Error " + the number with a sign position (space or minus) + ": " +
// the description, e.g. "Error  53: File not found".
std::string generalErrorMessage(const Error& failure);

// What a command shows when it cannot open one of its files: its own
// not-found text for 53, the general error message for anything else.
std::string openFailureMessage(const Error& failure, std::string_view notFoundMessage);

} // namespace deptest
