#pragma once
// The arguments of an automation call: a JSON array, as the request reader
// read it (plain JsonValues, no toolkit involved) or as built in code from a
// QJsonArray. Members read them through at(), which answers the QJsonValue
// Qt's JSON gives, or without building one through the finite-number
// readers. The QJsonValue side lives in AutomationJsonQt.cpp, so this
// header and AutomationArgs.cpp build without Qt.
//
// The shapes most calls carry (null, true, false, a number, an array of at
// most three numbers, a string of plain ASCII), a few of them, are held in
// place rather than as JsonValues: the request reader appends them
// (appendCompact) and the finite-number readers read them where they are.
// Whoever asks for a JsonValue gets one built from them on first use, the
// same value the general reader gives for the same text.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/JsonValue.h"

class QJsonArray;
class QJsonValue;

namespace tessik::cadhost {

class AutomationArgs {
public:
    // One argument of a usual shape.
    struct Compact {
        enum class Shape : std::uint8_t { Null, Bool, Number, Numbers, Text };
        Shape shape;
        std::uint8_t count;     // Numbers: how many, at most kCompactNumbers
        std::uint8_t integers;  // bit k: number k was an integer token (exact in a double)
        bool flag;              // Bool
        std::uint32_t textAt;   // Text: its bytes in the arguments' text
        std::uint32_t textSize;
        double numbers[3];      // Number: numbers[0]
    };
    static constexpr int kCompactNumbers = 3;
    static constexpr int kCompactRoom = 6;

    AutomationArgs() = default;
    explicit AutomationArgs(std::vector<JsonValue> items) : items_(std::move(items)) {}
    AutomationArgs(const QJsonArray& array);  // NOLINT: implicit, as a QJsonArray is one

    std::ptrdiff_t size() const { return compact_ ? compactCount_ : std::ptrdiff_t(items_.size()); }
    bool isEmpty() const { return size() == 0; }
    // Argument i, Undefined past the end.
    const JsonValue& value(std::ptrdiff_t i) const;
    const std::vector<JsonValue>& values() const;

    // Undefined past the end, as QJsonArray::at.
    QJsonValue at(std::ptrdiff_t i) const;
    QJsonValue operator[](std::ptrdiff_t i) const;
    QJsonArray toArray() const;

    // Argument i when it is an array of exactly count finite numbers, written
    // to out; false otherwise (out then holds nothing of use).
    bool finiteNumbers(std::ptrdiff_t i, double* out, std::ptrdiff_t count) const;
    // Argument i when it is a finite number.
    std::optional<double> finiteNumber(std::ptrdiff_t i) const;

    // No arguments, held in place, ready for appendCompact.
    void clearCompact();
    // Appends one argument of a usual shape (text: a Text's bytes, plain
    // ASCII without quotes or backslashes); false, appending nothing, once
    // kCompactRoom are held or for a shape it cannot hold.
    bool appendCompact(Compact argument, std::string_view text = {});

    // Same values, however each side holds them.
    friend bool operator==(const AutomationArgs& a, const AutomationArgs& b);

private:
    const std::vector<JsonValue>& expanded() const;

    bool compact_ = false;
    std::uint8_t compactCount_ = 0;
    Compact compactItems_[kCompactRoom]{};
    std::string text_;  // the Text arguments' bytes, one after another
    // The arguments; when they are held in place, built from them on first
    // use (expanded_).
    mutable std::vector<JsonValue> items_;
    mutable bool expanded_ = false;
};

}  // namespace tessik::cadhost
