#include "AutomationRequest.h"

#include <cmath>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "AutomationError.h"

namespace tessik::cadhost {

using namespace automation;

namespace {

// Targets are handles: integers a double holds exactly.
constexpr double kLargestTarget = 9.0e15;

using Verb = AutomationDispatcher::Verb;

AutomationRequest refused(const QJsonValue& id, bool wantsReply, std::int32_t code, const QString& message)
{
    AutomationRequest r;
    r.outcome = AutomationRequest::Outcome::Refuse;
    r.id = id;
    r.wantsReply = wantsReply;
    r.code = code;
    r.message = message;
    return r;
}

// The verb named by method, or refused (code set) when it names none.
bool readVerb(const QJsonValue& method, Verb& verb)
{
    const QString name = method.toString();
    if (name.compare(QLatin1String("call"), Qt::CaseInsensitive) == 0)
        verb = Verb::Call;
    else if (name.compare(QLatin1String("get"), Qt::CaseInsensitive) == 0)
        verb = Verb::Get;
    else if (name.compare(QLatin1String("set"), Qt::CaseInsensitive) == 0)
        verb = Verb::Set;
    else
        return false;
    return true;
}

// Reads params into inv; an empty string when they are sound, else why not.
QString readParams(const QJsonObject& params, AutomationDispatcher::Invocation& inv, std::int32_t& code)
{
    code = kInvalidParams;
    const QJsonValue target = params.value(QLatin1String("target"));
    const double number = target.toDouble(-1);
    if (!target.isDouble() || number < 0 || number != std::floor(number) || number > kLargestTarget)
        return QStringLiteral("target 必须是非负整数。");
    inv.target = static_cast<std::int64_t>(number);
    const QJsonValue member = params.value(QLatin1String("member"));
    if (!member.isString() || member.toString().isEmpty()) return QStringLiteral("member 必须是非空字符串。");
    inv.member = member.toString();
    if (inv.verb == Verb::Set) {
        const auto value = params.constFind(QLatin1String("value"));
        if (value == params.constEnd()) return QStringLiteral("set 需要 value。");
        inv.value = *value;
    }
    if (inv.verb == Verb::Call) {
        const QJsonValue args = params.value(QLatin1String("args"));
        if (!args.isUndefined() && !args.isNull() && !args.isArray()) return QStringLiteral("args 必须是数组。");
        inv.args = args.toArray();
    }
    return {};
}

AutomationRequest readRequest(const QJsonObject& request)
{
    const auto idAt = request.constFind(QLatin1String("id"));
    const bool wantsReply = idAt != request.constEnd();
    const QJsonValue id = wantsReply ? *idAt : QJsonValue();
    if (!id.isNull() && !id.isDouble() && !id.isString())
        return refused(QJsonValue(), true, kInvalidRequest, QStringLiteral("id 必须是数字或字符串。"));
    if (request.value(QLatin1String("jsonrpc")).toString() != QLatin1String("2.0"))
        return refused(id, wantsReply, kInvalidRequest, QStringLiteral("缺少 \"jsonrpc\":\"2.0\"。"));
    const QJsonValue method = request.value(QLatin1String("method"));
    if (!method.isString()) return refused(id, wantsReply, kInvalidRequest, QStringLiteral("缺少方法名 method。"));
    AutomationRequest r;
    if (!readVerb(method, r.invocation.verb))
        return refused(id, wantsReply, kMethodNotFound,
                       QStringLiteral("未知的方法“%1”：应为 get、set 或 call。").arg(method.toString()));
    const QJsonValue params = request.value(QLatin1String("params"));
    if (!params.isObject()) return refused(id, wantsReply, kInvalidParams, QStringLiteral("params 必须是对象。"));
    std::int32_t code = 0;
    if (const QString why = readParams(params.toObject(), r.invocation, code); !why.isEmpty())
        return refused(id, wantsReply, code, why);
    r.outcome = AutomationRequest::Outcome::Invoke;
    r.id = id;
    r.wantsReply = wantsReply;
    return r;
}

// A JSON value as it appears inside a reply line. Integers (ids, handles,
// counts) are the common case and are written without building a document.
void appendValue(QByteArray& out, const QJsonValue& value)
{
    constexpr double kExactInteger = 9007199254740992.0;  // 2^53
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out += "null"; return;
    case QJsonValue::Bool: out += value.toBool() ? "true" : "false"; return;
    case QJsonValue::Double: {
        const double d = value.toDouble();
        if (d == std::floor(d) && std::abs(d) < kExactInteger) {
            out += QByteArray::number(static_cast<qint64>(d));
            return;
        }
        break;
    }
    case QJsonValue::Object: out += QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact); return;
    case QJsonValue::Array: out += QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact); return;
    default: break;
    }
    // Strings and other numbers: the document writer's escaping and digits,
    // without the brackets of the array that carries the value.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out.append(wrapped.constData() + 1, wrapped.size() - 2);
}

}  // namespace

AutomationRequest parseRequest(QByteArrayView line)
{
    if (line.endsWith('\r')) line.chop(1);
    if (line.trimmed().isEmpty()) return {};
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(QJsonValue(), true, kParseError,
                       QStringLiteral("JSON 格式错误（第 %1 个字节）：%2")
                           .arg(parseError.offset)
                           .arg(parseError.errorString()));
    if (!doc.isObject())
        return refused(QJsonValue(), true, kInvalidRequest, QStringLiteral("请求必须是一个 JSON 对象。"));
    return readRequest(doc.object());
}

QByteArray resultReply(const QJsonValue& id, const QJsonValue& result)
{
    QByteArray out;
    out.reserve(64);
    out += "{\"jsonrpc\":\"2.0\",\"id\":";
    appendValue(out, id);
    out += ",\"result\":";
    appendValue(out, result);
    out += "}\n";
    return out;
}

QByteArray errorReply(const QJsonValue& id, std::int32_t code, const QString& message)
{
    QByteArray out;
    out.reserve(128);
    out += "{\"jsonrpc\":\"2.0\",\"id\":";
    appendValue(out, id);
    out += ",\"error\":{\"code\":";
    out += QByteArray::number(code);
    out += ",\"message\":";
    appendValue(out, message);
    out += "}}\n";
    return out;
}

}  // namespace tessik::cadhost
