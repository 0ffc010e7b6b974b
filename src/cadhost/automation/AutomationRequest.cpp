#include "automation/AutomationRequest.h"

#include <charconv>
#include <cmath>
#include <initializer_list>

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

// The request every client sends, read without a tree of the whole line:
// one object of "jsonrpc", "id", "method" and "params", params one object of
// "target", "member", "value" and "args", each key spelled without escapes
// and given once, in any order; only the values are read as JSON. It answers
// only a request to invoke; for anything else (another key, a key given
// twice, a refusal) it answers nothing and the line goes to readJson and
// readRequest, so that every line is answered as they answer it.
class UsualRequestReader {
public:
    explicit UsualRequestReader(std::string_view line) : text_(line) {}

    // Into r, a request to invoke; false for any other line.
    bool read(AutomationRequest& r)
    {
        if (!take('{')) return false;
        enum { Jsonrpc, Id, Method, Params };
        bool seen[4] = {};
        JsonValue id = JsonValue::null();
        AutomationCall& call = r.invocation;
        bool hasValue = false;
        bool argsSound = true;
        do {
            const int k = key({"jsonrpc", "id", "method", "params"});
            if (k < 0 || seen[k]) return false;
            seen[k] = true;
            if (k == Params) {
                if (!params(call, hasValue, argsSound)) return false;
                continue;
            }
            JsonValue v = value(1);
            if (k == Id) {
                if (!v.isNull() && !v.isNumber() && !v.isString()) return false;
                id = std::move(v);
            } else if (k == Jsonrpc) {
                if (!v.isString() || v.text() != "2.0") return false;
            } else if (!v.isString() || !readVerb(v.text(), call.verb)) {
                return false;
            }
        } while (take(','));
        if (!take('}')) return false;
        skipSpace();
        if (at_ != text_.size() || !seen[Jsonrpc] || !seen[Method] || !seen[Params]) return false;
        if (call.verb == AutomationVerb::Set && !hasValue) return false;
        if (call.verb == AutomationVerb::Call && !argsSound) return false;
        if (call.verb != AutomationVerb::Set) call.value = JsonValue();
        if (call.verb != AutomationVerb::Call) call.args = AutomationArgs();
        r.outcome = AutomationRequest::Outcome::Invoke;
        r.wantsReply = seen[Id];
        r.id = std::move(id);
        return true;
    }

private:
    // A value as readJsonValue reads it at that depth; strings of plain
    // ASCII and integer tokens, what requests mostly hold, read here.
    JsonValue value(int depth)
    {
        skipSpace();
        const char* const begin = text_.data() + at_;
        const char* const end = text_.data() + text_.size();
        const char* p = begin;
        if (p != end && *p == '"') {
            ++p;
            while (p != end && static_cast<unsigned char>(*p) >= 0x20 && static_cast<unsigned char>(*p) < 0x80 &&
                   *p != '"' && *p != '\\')
                ++p;
            if (p != end && *p == '"') {
                at_ = std::size_t(p + 1 - text_.data());
                return JsonValue::string(std::string(begin + 1, p));
            }
        } else if (p != end && (*p == '-' || (*p >= '0' && *p <= '9'))) {
            if (*p == '-') ++p;
            const char* digits = p;
            while (p != end && *p >= '0' && *p <= '9') ++p;
            const bool plain = p != digits && (p - digits == 1 || *digits != '0') &&
                               (p == end || (*p != '.' && *p != 'e' && *p != 'E'));
            std::int64_t i = 0;
            if (plain) {
                if (const auto [stop, ec] = std::from_chars(begin, p, i); ec == std::errc() && stop == p) {
                    at_ = std::size_t(p - text_.data());
                    return JsonValue::integer(i);
                }
            }
        }
        return readJsonValue(text_, at_, depth, error_);
    }

    void skipSpace()
    {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool take(char c)
    {
        skipSpace();
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    // Which of names the key at at_ is, with its ':' taken; -1 for any other
    // key, or one spelled with escapes.
    int key(std::initializer_list<std::string_view> names)
    {
        skipSpace();
        if (at_ == text_.size() || text_[at_] != '"') return -1;
        const std::size_t end = text_.find('"', at_ + 1);
        if (end == std::string_view::npos) return -1;
        const std::string_view k = text_.substr(at_ + 1, end - at_ - 1);
        int i = 0;
        for (const std::string_view name : names) {
            if (k == name) {
                at_ = end + 1;
                return take(':') ? i : -1;
            }
            ++i;
        }
        return -1;
    }

    // The params object into call, checked as readParams checks it for any
    // verb; argsSound: args absent, null or an array.
    bool params(AutomationCall& call, bool& hasValue, bool& argsSound)
    {
        if (!take('{')) return false;
        enum { Target, Member, Value, Args };
        bool seen[4] = {};
        do {
            const int k = key({"target", "member", "value", "args"});
            if (k < 0 || seen[k]) return false;
            seen[k] = true;
            JsonValue v = value(2);
            if (v.isUndefined()) return false;
            switch (k) {
            case Target: {
                const double number = v.isNumber() ? v.toDouble() : -1;
                if (number < 0 || number != std::floor(number) || number > kLargestTarget) return false;
                call.target = static_cast<std::int64_t>(number);
                break;
            }
            case Member:
                if (!v.isString() || v.text().empty()) return false;
                call.member = v.text();
                break;
            case Value:
                call.value = std::move(v);
                hasValue = true;
                break;
            default:
                argsSound = v.isNull() || v.isArray();
                if (v.isArray()) call.args = AutomationArgs(std::move(v.items()));
            }
        } while (take(','));
        return take('}') && seen[Target] && seen[Member];
    }

    std::string_view text_;
    std::size_t at_ = 0;
    JsonError error_;
};

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

// A line neither blank nor ending in '\r', read through readJson's tree.
AutomationRequest readByTree(std::string_view line)
{
    JsonError error;
    JsonValue request = readJson(line, error);
    if (request.isUndefined())
        return refused(JsonValue::null(), true, kParseError,
                       "JSON 格式错误（第 " + std::to_string(error.offset) + " 个字节）：" + error.what);
    if (!request.isObject()) return refused(JsonValue::null(), true, kInvalidRequest, "请求必须是一个 JSON 对象。");
    return readRequest(request);
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
    AutomationRequest r;
    if (UsualRequestReader(line).read(r)) return r;
    return readByTree(line);
}

AutomationRequest parseRequestByTree(std::string_view line)
{
    if (isBlank(line)) return {};
    if (line.back() == '\r') line.remove_suffix(1);
    return readByTree(line);
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
    std::string out;
    out.reserve(96);
    appendHandleReply(out, id, handle, type);
    return out;
}

void appendHandleReply(std::string& out, const JsonValue& id, std::int64_t handle, std::string_view type)
{
    out += "{\"jsonrpc\":\"2.0\",\"id\":";
    appendJson(out, id);
    out += ",\"result\":{\"handle\":";
    appendInteger(out, handle);
    out += ",\"type\":";
    appendJsonString(out, type);
    out += "}}\n";
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
