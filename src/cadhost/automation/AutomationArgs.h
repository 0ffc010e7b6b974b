#pragma once
// The arguments of an automation call: a JSON array, as the request reader
// read it (plain JsonValues, no toolkit involved) or as built in code from a
// QJsonArray. Members read them through at(), which answers the QJsonValue
// Qt's JSON gives, or without building one through the finite-number
// readers. The QJsonValue side lives in AutomationJsonQt.cpp, so this
// header and AutomationArgs.cpp build without Qt.

#include <cstddef>
#include <optional>
#include <vector>

#include "automation/JsonValue.h"

class QJsonArray;
class QJsonValue;

namespace tessik::cadhost {

class AutomationArgs {
public:
    AutomationArgs() = default;
    explicit AutomationArgs(std::vector<JsonValue> items) : items_(std::move(items)) {}
    AutomationArgs(const QJsonArray& array);  // NOLINT: implicit, as a QJsonArray is one

    std::ptrdiff_t size() const { return std::ptrdiff_t(items_.size()); }
    bool isEmpty() const { return items_.empty(); }
    // Argument i, Undefined past the end.
    const JsonValue& value(std::ptrdiff_t i) const;
    const std::vector<JsonValue>& values() const { return items_; }

    // Undefined past the end, as QJsonArray::at.
    QJsonValue at(std::ptrdiff_t i) const;
    QJsonValue operator[](std::ptrdiff_t i) const;
    QJsonArray toArray() const;

    // Argument i when it is an array of exactly count finite numbers, written
    // to out; false otherwise (out then holds nothing of use).
    bool finiteNumbers(std::ptrdiff_t i, double* out, std::ptrdiff_t count) const;
    // Argument i when it is a finite number.
    std::optional<double> finiteNumber(std::ptrdiff_t i) const;

    friend bool operator==(const AutomationArgs& a, const AutomationArgs& b) { return a.items_ == b.items_; }

private:
    std::vector<JsonValue> items_;
};

}  // namespace tessik::cadhost
