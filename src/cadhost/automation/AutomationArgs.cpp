#include "automation/AutomationArgs.h"

#include <cmath>

namespace tessik::cadhost {

namespace {

JsonValue numberValue(double d, bool integer)
{
    return integer ? JsonValue::integer(static_cast<std::int64_t>(d)) : JsonValue::number(d);
}

}  // namespace

const std::vector<JsonValue>& AutomationArgs::expanded() const
{
    if (!compact_ || expanded_) return items_;
    items_.clear();
    items_.reserve(compactCount_);
    for (int i = 0; i < compactCount_; ++i) {
        const Compact& c = compactItems_[i];
        switch (c.shape) {
        case Compact::Shape::Null: items_.push_back(JsonValue::null()); break;
        case Compact::Shape::Bool: items_.push_back(JsonValue::boolean(c.flag)); break;
        case Compact::Shape::Number: items_.push_back(numberValue(c.numbers[0], c.integers & 1)); break;
        case Compact::Shape::Numbers: {
            std::vector<JsonValue> numbers;
            numbers.reserve(c.count);
            for (int k = 0; k < c.count; ++k) numbers.push_back(numberValue(c.numbers[k], (c.integers >> k) & 1));
            items_.push_back(JsonValue::array(std::move(numbers)));
            break;
        }
        case Compact::Shape::Text: items_.push_back(JsonValue::string(text_.substr(c.textAt, c.textSize))); break;
        }
    }
    expanded_ = true;
    return items_;
}

const std::vector<JsonValue>& AutomationArgs::values() const { return expanded(); }

const JsonValue& AutomationArgs::value(std::ptrdiff_t i) const
{
    static const JsonValue undefined;
    return i >= 0 && i < size() ? expanded()[std::size_t(i)] : undefined;
}

bool AutomationArgs::finiteNumbers(std::ptrdiff_t i, double* out, std::ptrdiff_t count) const
{
    if (compact_) {
        if (i < 0 || i >= compactCount_) return false;
        const Compact& c = compactItems_[i];
        if (c.shape != Compact::Shape::Numbers || c.count != count) return false;
        for (std::ptrdiff_t k = 0; k < count; ++k) {
            if (!std::isfinite(c.numbers[k])) return false;
            out[k] = c.numbers[k];
        }
        return true;
    }
    const JsonValue& v = value(i);
    if (!v.isArray() || std::ptrdiff_t(v.items().size()) != count) return false;
    for (std::ptrdiff_t k = 0; k < count; ++k) {
        const JsonValue& c = v.items()[std::size_t(k)];
        if (!c.isNumber() || !std::isfinite(c.toDouble())) return false;
        out[k] = c.toDouble();
    }
    return true;
}

std::optional<double> AutomationArgs::finiteNumber(std::ptrdiff_t i) const
{
    if (compact_) {
        if (i < 0 || i >= compactCount_) return std::nullopt;
        const Compact& c = compactItems_[i];
        if (c.shape != Compact::Shape::Number || !std::isfinite(c.numbers[0])) return std::nullopt;
        return c.numbers[0];
    }
    const JsonValue& v = value(i);
    if (!v.isNumber() || !std::isfinite(v.toDouble())) return std::nullopt;
    return v.toDouble();
}

void AutomationArgs::clearCompact()
{
    compact_ = true;
    compactCount_ = 0;
    text_.clear();
    items_.clear();
    expanded_ = false;
}

bool AutomationArgs::appendCompact(Compact argument, std::string_view text)
{
    if (!compact_ || compactCount_ == kCompactRoom) return false;
    if (argument.shape == Compact::Shape::Numbers && argument.count > kCompactNumbers) return false;
    if (argument.shape == Compact::Shape::Text) {
        if (text.size() > UINT32_MAX - text_.size()) return false;
        argument.textAt = std::uint32_t(text_.size());
        argument.textSize = std::uint32_t(text.size());
        text_.append(text);
    }
    compactItems_[compactCount_++] = argument;
    expanded_ = false;
    return true;
}

bool operator==(const AutomationArgs& a, const AutomationArgs& b) { return a.expanded() == b.expanded(); }

}  // namespace tessik::cadhost
