#pragma once
// A JSON value and the strict reader and compact writer of one JSON text,
// in plain C++: what the automation server reads request lines with, so
// that reading untrusted bytes needs no toolkit and can be fuzzed alone.
//
// The reader takes RFC 8259 and nothing more: UTF-8 validated (overlong
// forms, surrogates and code points past U+10FFFF refused), no control
// characters in strings, escapes decoded (a lone surrogate escape refused),
// nesting at most kMaxJsonDepth deep. A number is kept exactly: an integer
// token that fits 64 bits as that integer, any other as the double nearest
// to it; one out of a double's range is refused. In an object a key given
// twice keeps its last value. Errors name the byte where reading stopped.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessik::cadhost {

inline constexpr int kMaxJsonDepth = 128;

class JsonValue {
public:
    enum class Type : std::uint8_t { Undefined, Null, Bool, Number, String, Array, Object };
    using Members = std::vector<std::pair<std::string, JsonValue>>;

    JsonValue() = default;  // Undefined: absent
    static JsonValue null() { return JsonValue(Type::Null); }
    static JsonValue boolean(bool b);
    static JsonValue integer(std::int64_t i);
    static JsonValue number(double d);
    static JsonValue string(std::string text);
    static JsonValue array(std::vector<JsonValue> items);
    static JsonValue object(Members members);

    Type type() const { return type_; }
    bool isUndefined() const { return type_ == Type::Undefined; }
    bool isNull() const { return type_ == Type::Null; }
    bool isBool() const { return type_ == Type::Bool; }
    bool isNumber() const { return type_ == Type::Number; }
    bool isString() const { return type_ == Type::String; }
    bool isArray() const { return type_ == Type::Array; }
    bool isObject() const { return type_ == Type::Object; }

    bool toBool() const { return bool_; }
    double toDouble() const { return isInteger_ ? double(integer_) : number_; }
    // A number read from an integer token that fits 64 bits.
    bool isInteger() const { return type_ == Type::Number && isInteger_; }
    std::int64_t toInteger() const { return integer_; }
    const std::string& text() const { return text_; }  // UTF-8
    const std::vector<JsonValue>& items() const { return items_; }
    std::vector<JsonValue>& items() { return items_; }
    const Members& members() const { return members_; }
    // The member's value, Undefined when the object has no such key.
    const JsonValue& operator[](std::string_view key) const;

    // Same type and value; numbers compare as Qt's values do, by what they
    // hold (an integer and the double equal to it are equal).
    friend bool operator==(const JsonValue& a, const JsonValue& b);

private:
    explicit JsonValue(Type type) : type_(type) {}

    Type type_ = Type::Undefined;
    bool bool_ = false;
    bool isInteger_ = false;
    std::int64_t integer_ = 0;
    double number_ = 0;
    std::string text_;
    std::vector<JsonValue> items_;
    Members members_;
};

struct JsonError {
    std::size_t offset = 0;  // the byte where reading stopped
    std::string what;        // short, in English, as the protocol's parse errors are
};

// One JSON text (any value, surrounded by optional white space). On failure
// returns Undefined and fills error.
JsonValue readJson(std::string_view text, JsonError& error);
// One JSON value starting at text[at] (white space before it skipped), read
// as readJson reads a value nested depth levels deep in a document; at moves
// past it. On failure returns Undefined and fills error.
JsonValue readJsonValue(std::string_view text, std::size_t& at, int depth, JsonError& error);

// Compact JSON in UTF-8, control characters escaped; bytes of a string that
// are not UTF-8 are written as U+FFFD, so the line is always valid JSON.
// Undefined is written as null, and so is a non-finite number, which JSON
// cannot carry.
void appendJson(std::string& out, const JsonValue& value);
void appendJsonString(std::string& out, std::string_view utf8);

}  // namespace tessik::cadhost
