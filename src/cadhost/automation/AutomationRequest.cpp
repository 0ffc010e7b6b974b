#include "automation/AutomationRequest.h"

#include <charconv>
#include <cmath>

#include "AutomationNumbers.h"

namespace tessik::cadhost {

using namespace protocol;

namespace {

// Targets are handles: integers a double holds exactly.
constexpr double kLargestTarget = 9.0e15;

AutomationRequest refused(JsonValue id, bool wantsReply, std::int32_t code, std::string message)
{
    AutomationRequest r;
    r.outcome = AutomationRequest::Outcome::Refuse;
    r.id = std::move(id);
    r.wantsReply = wantsReply;
    r.code = code;
    r.message = std::move(message);
    return r;
}

bool equalsAsciiNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char c = a[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != b[i]) return false;
    }
    return true;
}

bool readVerb(std::string_view name, AutomationVerb& verb)
{
    if (equalsAsciiNoCase(name, "call"))
        verb = AutomationVerb::Call;
    else if (equalsAsciiNoCase(name, "get"))
        verb = AutomationVerb::Get;
    else if (equalsAsciiNoCase(name, "set"))
        verb = AutomationVerb::Set;
    else
        return false;
    return true;
}

// Reads params into call; an empty string when they are sound, else why not.
std::string readParams(JsonValue::Members& params, AutomationCall& call)
{
    const auto take = [&](std::string_view key) {
        for (auto& [name, v] : params)
            if (name == key) return std::move(v);
        return JsonValue();
    };
    const JsonValue target = take("target");
    const double number = target.isNumber() ? target.toDouble() : -1;
    if (number < 0 || number != std::floor(number) || number > kLargestTarget) return "target 必须是非负整数。";
    call.target = static_cast<std::int64_t>(number);
    JsonValue member = take("member");
    if (!member.isString() || member.text().empty()) return "member 必须是非空字符串。";
    call.member = member.text();
    if (call.verb == AutomationVerb::Set) {
        call.value = take("value");
        if (call.value.isUndefined()) return "set 需要 value。";
    }
    if (call.verb == AutomationVerb::Call) {
        JsonValue args = take("args");
        if (!args.isUndefined() && !args.isNull() && !args.isArray()) return "args 必须是数组。";
        call.args = AutomationArgs(std::move(args.items()));
    }
    return {};
}

AutomationRequest readRequest(JsonValue& request)
{
    const JsonValue& idField = request["id"];
    const bool wantsReply = !idField.isUndefined();
    JsonValue id = wantsReply ? idField : JsonValue::null();
    if (!id.isNull() && !id.isNumber() && !id.isString())
        return refused(JsonValue::null(), true, kInvalidRequest, "id 必须是数字或字符串。");
    const JsonValue& jsonrpc = request["jsonrpc"];
    if (!jsonrpc.isString() || jsonrpc.text() != "2.0")
        return refused(std::move(id), wantsReply, kInvalidRequest, "缺少 \"jsonrpc\":\"2.0\"。");
    const JsonValue& method = request["method"];
    if (!method.isString()) return refused(std::move(id), wantsReply, kInvalidRequest, "缺少方法名 method。");
    AutomationRequest r;
    if (!readVerb(method.text(), r.invocation.verb))
        return refused(std::move(id), wantsReply, kMethodNotFound,
                       "未知的方法“" + method.text() + "”：应为 get、set 或 call。");
    for (auto& [name, params] : const_cast<JsonValue::Members&>(request.members())) {
        if (name != "params") continue;
        if (!params.isObject()) break;
        if (std::string why = readParams(const_cast<JsonValue::Members&>(params.members()), r.invocation);
            !why.empty())
            return refused(std::move(id), wantsReply, kInvalidParams, std::move(why));
        r.outcome = AutomationRequest::Outcome::Invoke;
        r.id = std::move(id);
        r.wantsReply = wantsReply;
        return r;
    }
    return refused(std::move(id), wantsReply, kInvalidParams, "params 必须是对象。");
}

bool isBlank(std::string_view line)
{
    for (const char c : line)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') return false;
    return true;
}

void appendInteger(std::string& out, std::int64_t n)
{
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, n).ptr);
}

}  // namespace

std::string replyStart(const JsonValue& id)
{
    std::string out;
    out.reserve(96);
    out += "{\"jsonrpc\":\"2.0\",\"id\":";
    appendJson(out, id);
    return out;
}

AutomationRequest parseRequest(std::string_view line)
{
    if (isBlank(line)) return {};
    if (line.back() == '\r') line.remove_suffix(1);
    JsonError error;
    JsonValue request = readJson(line, error);
    if (request.isUndefined())
        return refused(JsonValue::null(), true, kParseError,
                       "JSON 格式错误（第 " + std::to_string(error.offset) + " 个字节）：" + error.what);
    if (!request.isObject()) return refused(JsonValue::null(), true, kInvalidRequest, "请求必须是一个 JSON 对象。");
    return readRequest(request);
}

std::string resultReply(const JsonValue& id, const JsonValue& result)
{
    std::string out = replyStart(id);
    out += ",\"result\":";
    appendJson(out, result);
    out += "}\n";
    return out;
}

std::string handleReply(const JsonValue& id, std::int64_t handle, std::string_view type)
{
    std::string out = replyStart(id);
    out += ",\"result\":{\"handle\":";
    appendInteger(out, handle);
    out += ",\"type\":";
    appendJsonString(out, type);
    out += "}}\n";
    return out;
}

std::string errorReply(const JsonValue& id, std::int32_t code, std::string_view message)
{
    std::string out = replyStart(id);
    out += ",\"error\":{\"code\":";
    appendInteger(out, code);
    out += ",\"message\":";
    appendJsonString(out, message);
    out += "}}\n";
    return out;
}

}  // namespace tessik::cadhost
