#include "automation/AutomationJsonQt.h"

#include <charconv>
#include <cmath>

#include <QJsonArray>
#include <QJsonObject>

#include "automation/AutomationArgs.h"
#include "automation/AutomationRequest.h"

namespace tessik::cadhost {

QJsonValue toQJsonValue(const JsonValue& value)
{
    switch (value.type()) {
    case JsonValue::Type::Undefined: return QJsonValue(QJsonValue::Undefined);
    case JsonValue::Type::Null: return QJsonValue();
    case JsonValue::Type::Bool: return QJsonValue(value.toBool());
    case JsonValue::Type::Number:
        return value.isInteger() ? QJsonValue(qint64(value.toInteger())) : QJsonValue(value.toDouble());
    case JsonValue::Type::String: return QJsonValue(QString::fromUtf8(value.text()));
    case JsonValue::Type::Array: {
        QJsonArray array;
        for (const JsonValue& item : value.items()) array.append(toQJsonValue(item));
        return array;
    }
    case JsonValue::Type::Object: {
        QJsonObject object;
        for (const auto& [key, item] : value.members()) object.insert(QString::fromUtf8(key), toQJsonValue(item));
        return object;
    }
    }
    return QJsonValue();
}

JsonValue fromQJsonValue(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Undefined: return JsonValue();
    case QJsonValue::Null: return JsonValue::null();
    case QJsonValue::Bool: return JsonValue::boolean(value.toBool());
    case QJsonValue::Double: {
        // Qt keeps an integer it was given as one; toInteger answers it
        // only then.
        const double d = value.toDouble();
        if (d == std::floor(d) && std::abs(d) < 9007199254740992.0) return JsonValue::integer(value.toInteger());
        return JsonValue::number(d);
    }
    case QJsonValue::String: return JsonValue::string(value.toString().toStdString());
    case QJsonValue::Array: {
        std::vector<JsonValue> items;
        for (const QJsonValue& item : value.toArray()) items.push_back(fromQJsonValue(item));
        return JsonValue::array(std::move(items));
    }
    case QJsonValue::Object: {
        JsonValue::Members members;
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it)
            members.emplace_back(it.key().toStdString(), fromQJsonValue(it.value()));
        return JsonValue::object(std::move(members));
    }
    }
    return JsonValue();
}

namespace {

void appendQJson(std::string& out, const QJsonValue& value)
{
    constexpr double kExactInteger = 9007199254740992.0;  // 2^53
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out += "null"; return;
    case QJsonValue::Bool: out += value.toBool() ? "true" : "false"; return;
    case QJsonValue::Double: {
        const double d = value.toDouble();
        char digits[32];
        if (d == std::floor(d) && std::abs(d) < kExactInteger)
            out.append(digits, std::to_chars(digits, digits + sizeof digits, static_cast<qint64>(d)).ptr);
        else if (std::isfinite(d))
            out.append(digits, std::to_chars(digits, digits + sizeof digits, d).ptr);
        else
            out += "null";
        return;
    }
    case QJsonValue::String: {
        const QString text = value.toString();
        // Printable ASCII, the names and types most answers carry, is
        // copied as it is.
        bool plain = true;
        for (const QChar c : text)
            if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'"' || c == u'\\') {
                plain = false;
                break;
            }
        if (plain) {
            out += '"';
            for (const QChar c : text) out += char(c.unicode());
            out += '"';
        } else {
            appendJsonString(out, text.toStdString());
        }
        return;
    }
    case QJsonValue::Array: {
        out += '[';
        bool first = true;
        for (const QJsonValue& item : value.toArray()) {
            if (!first) out += ',';
            first = false;
            appendQJson(out, item);
        }
        out += ']';
        return;
    }
    case QJsonValue::Object: {
        const QJsonObject object = value.toObject();
        out += '{';
        bool first = true;
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!first) out += ',';
            first = false;
            appendJsonString(out, it.key().toStdString());
            out += ':';
            appendQJson(out, it.value());
        }
        out += '}';
        return;
    }
    }
}

}  // namespace

std::string resultReply(const JsonValue& id, const QJsonValue& result)
{
    std::string out = replyStart(id);
    out += ",\"result\":";
    appendQJson(out, result);
    out += "}\n";
    return out;
}

AutomationArgs::AutomationArgs(const QJsonArray& array)
{
    items_.reserve(std::size_t(array.size()));
    for (const QJsonValue& item : array) items_.push_back(fromQJsonValue(item));
}

QJsonValue AutomationArgs::at(std::ptrdiff_t i) const { return toQJsonValue(value(i)); }

QJsonValue AutomationArgs::operator[](std::ptrdiff_t i) const { return at(i); }

QJsonArray AutomationArgs::toArray() const
{
    QJsonArray array;
    for (const JsonValue& item : values()) array.append(toQJsonValue(item));
    return array;
}

}  // namespace tessik::cadhost
