#pragma once
// The failure vocabulary shared by every module.
//
// A fallible primitive (a conversion, a CAD call, a file read) returns a
// Result<T>: either the value or an Error{number, description}. The numbers
// follow the classic automation/runtime numbering, so an error raised by our
// own code and one relayed from the CAD application look alike to callers.
//
// Procedures that run "resume-next" hold a PendingError (see PendingError.h):
// each step either assigns its value or records its error and the procedure
// goes on with the next step.

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace tessik {

namespace errc {
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kTypeMismatch = 13;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kInputPastEndOfFile = 62;
inline constexpr std::int32_t kInvalidProcedureCall = 5;
}  // namespace errc

struct Error {
    std::int32_t number = 0;
    std::string description;
    // What the error is about (a field name, a file name, a CAD member);
    // empty when nothing more specific can be said.
    std::string source;

    static Error overflow(std::string source = {});
    static Error divisionByZero(std::string source = {});
    static Error typeMismatch(std::string source = {});
    static Error subscriptOutOfRange(std::string source = {});
    static Error fileNotFound(std::string source = {});
    static Error inputPastEndOfFile(std::string source = {});

    friend bool operator==(const Error&, const Error&) = default;
};

// A value or the error that prevented it. Deliberately small: the standard
// library's expected is not available to every compiler we build with.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& { return std::get<0>(state_); }
    T& value() & { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(state_); }

    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> state_;
};

// For fallible steps that deliver nothing but success or an error.
struct Done {
    friend bool operator==(Done, Done) = default;
};
using Status = Result<Done>;

inline Status success() { return Status(Done{}); }

}  // namespace tessik
