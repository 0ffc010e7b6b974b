#include "automation/AutomationRequest.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>

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

// The bytes a string holds as they are: printable ASCII but for '"' and
// '\\', which JSON escapes.
constexpr auto kPlainByte = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c < 0x80; ++c) plain[std::size_t(c)] = c != '"' && c != '\\';
    return plain;
}();

// The request every client sends, read without a tree of the whole line:
// one object of "jsonrpc", "id", "method" and "params", params one object of
// "target", "member", "value" and "args", each key spelled without escapes
// and given once, in any order; only the values are read as JSON, and args
// of the usual shapes go straight into the call's AutomationArgs. It
// answers only a request to invoke; for anything else (another key, a key
// given twice, a refusal) it answers nothing and the line goes to readJson
// and readRequest, so that every line is answered as they answer it.
class UsualRequestReader {
public:
    explicit UsualRequestReader(std::string_view line) : text_(line) {}

    // Into r (as a request starts), a request to invoke; false for any
    // other line, r then of no use.
    bool read(AutomationRequest& r)
    {
        if (!take('{')) return false;
        enum { Jsonrpc, Id, Method, Params };
        bool seen[4] = {};
        AutomationCall& call = r.invocation;
        bool hasValue = false;
        bool argsSound = true;
        do {
            const int k = requestKey();
            if (k < 0 || seen[k]) return false;
            seen[k] = true;
            if (k == Params) {
                if (!params(call, hasValue, argsSound)) return false;
                continue;
            }
            if (k == Id) {
                r.id = value(1);
                if (!r.id.isNull() && !r.id.isNumber() && !r.id.isString()) return false;
                continue;
            }
            std::string_view s;
            if (!stringValue(1, s)) return false;
            if (k == Jsonrpc ? s != "2.0" : !readVerb(s, call.verb)) return false;
        } while (take(','));
        if (!take('}')) return false;
        skipSpace();
        if (at_ != text_.size() || !seen[Jsonrpc] || !seen[Method] || !seen[Params]) return false;
        if (call.verb == AutomationVerb::Set && !hasValue) return false;
        if (call.verb == AutomationVerb::Call && !argsSound) return false;
        if (call.verb != AutomationVerb::Set && !call.value.isUndefined()) call.value = JsonValue();
        if (call.verb != AutomationVerb::Call && !call.args.isEmpty()) call.args = AutomationArgs();
        r.outcome = AutomationRequest::Outcome::Invoke;
        r.wantsReply = seen[Id];
        return true;
    }

private:
    using Compact = AutomationArgs::Compact;

    // A value as readJsonValue reads it at that depth; strings of plain
    // ASCII and integer tokens, what requests mostly hold, read here.
    JsonValue value(int depth)
    {
        skipSpace();
        std::string_view s;
        if (plainString(s)) return JsonValue::string(std::string(s));
        std::int64_t i = 0;
        if (integerToken(i)) return JsonValue::integer(i);
        return readJsonValue(text_, at_, depth, error_);
    }

    // A string without escapes of printable ASCII at at_, taken; its
    // bytes (a view of the line).
    bool plainString(std::string_view& s)
    {
        const char* const begin = text_.data() + at_;
        const char* const end = text_.data() + text_.size();
        if (begin == end || *begin != '"') return false;
        const char* p = begin + 1;
        while (p != end && kPlainByte[static_cast<unsigned char>(*p)]) ++p;
        if (p == end || *p != '"') return false;
        s = std::string_view(begin + 1, std::size_t(p - begin - 1));
        at_ = std::size_t(p + 1 - text_.data());
        return true;
    }

    // A string value: its bytes, which last until the next value is read.
    bool stringValue(int depth, std::string_view& s)
    {
        skipSpace();
        if (plainString(s)) return true;
        JsonValue v = readJsonValue(text_, at_, depth, error_);
        if (!v.isString()) return false;
        scratch_ = v.text();
        s = scratch_;
        return true;
    }

    // A number's sign and integer part, as JSON writes them (no leading
    // zero but for 0 itself), and their value when it has few digits.
    struct Integral {
        const char* end = nullptr;  // null: none there
        std::int64_t value = 0;     // when digits <= kInt64Digits
        int digits = 0;
    };
    // Decimal integers of so many digits fit 64 bits, and those of
    // kExactDigits a double's 53 bits.
    static constexpr int kInt64Digits = 18;
    static constexpr int kExactDigits = 15;

    Integral integral(const char* p) const
    {
        const char* const end = text_.data() + text_.size();
        Integral r;
        const bool negative = p != end && *p == '-';
        if (negative) ++p;
        if (p == end || *p < '0' || *p > '9') return r;
        if (*p == '0' && p + 1 != end && p[1] >= '0' && p[1] <= '9') return r;
        const char* const first = p;
        std::uint64_t magnitude = 0;
        for (; p != end && *p >= '0' && *p <= '9'; ++p)
            if (p - first < kInt64Digits) magnitude = magnitude * 10 + std::uint64_t(*p - '0');
        r.end = p;
        r.digits = int(p - first);
        r.value = negative ? -std::int64_t(magnitude) : std::int64_t(magnitude);
        return r;
    }

    // The number token at at_, taken, when JSON's grammar takes it and it
    // reads as readJsonValue reads it without a doubt: an integer token that
    // fits 64 bits (integerToken), or (number) one a double holds exactly,
    // or any other token within a double's range.
    bool integerToken(std::int64_t& i)
    {
        const char* const begin = text_.data() + at_;
        const Integral n = integral(begin);
        const char* const p = n.end;
        if (!p || (p != text_.data() + text_.size() && (*p == '.' || *p == 'e' || *p == 'E'))) return false;
        if (n.digits <= kInt64Digits)
            i = n.value;
        else if (const auto [stop, ec] = std::from_chars(begin, p, i); ec != std::errc() || stop != p)
            return false;
        at_ = std::size_t(p - text_.data());
        return true;
    }

    bool number(double& d, bool& integer)
    {
        const char* const begin = text_.data() + at_;
        const char* const end = text_.data() + text_.size();
        const Integral n = integral(begin);
        const char* p = n.end;
        if (!p) return false;
        integer = true;
        const auto digits = [&] {
            const char* from = p;
            while (p != end && *p >= '0' && *p <= '9') ++p;
            return p != from;
        };
        if (p != end && *p == '.') {
            ++p;
            if (!digits()) return false;
            integer = false;
        }
        if (p != end && (*p == 'e' || *p == 'E')) {
            ++p;
            if (p != end && (*p == '+' || *p == '-')) ++p;
            if (!digits()) return false;
            integer = false;
        }
        if (integer) {
            // Past that an integer is kept as the integer, which a double
            // may not hold: left to the general reader. "-0" is the integer 0.
            if (n.digits > kExactDigits) return false;
            d = double(n.value);
        } else {
            // Out of range, too large or too small, is the general reader's.
            if (const auto [stop, ec] = std::from_chars(begin, p, d); ec != std::errc() || stop != p) return false;
            if (!std::isfinite(d)) return false;
        }
        at_ = std::size_t(p - text_.data());
        return true;
    }

    bool word(std::string_view w)
    {
        if (text_.substr(at_, w.size()) != w) return false;
        at_ += w.size();
        return true;
    }

    // The args array at at_ into args when each of its items has a usual
    // shape and there are few enough of them; otherwise nothing is taken
    // and args is left empty.
    bool compactArgs(AutomationArgs& args)
    {
        const std::size_t start = at_;
        ++at_;  // '['
        args.clearCompact();
        bool sound = true;
        if (!take(']')) {
            do sound = compactArg(args);
            while (sound && take(','));
            sound = sound && take(']');
        }
        if (sound) return true;
        at_ = start;
        args = AutomationArgs();
        return false;
    }

    // One item of args at at_ appended to args, when it has a usual shape
    // and there is room for it.
    bool compactArg(AutomationArgs& args)
    {
        skipSpace();
        if (at_ == text_.size()) return false;
        Compact c{};
        std::string_view s;
        const char first = text_[at_];
        bool sound;
        if (first == '[') {
            ++at_;
            c.shape = Compact::Shape::Numbers;
            sound = take(']') || numbers(c);
        } else if (first == '"') {
            c.shape = Compact::Shape::Text;
            sound = plainString(s);
        } else if (first == 't' || first == 'f') {
            c.shape = Compact::Shape::Bool;
            c.flag = first == 't';
            sound = word(c.flag ? "true" : "false");
        } else if (first == 'n') {
            c.shape = Compact::Shape::Null;
            sound = word("null");
        } else {
            bool integer = false;
            c.shape = Compact::Shape::Number;
            sound = number(c.numbers[0], integer);
            c.integers = integer ? 1 : 0;
        }
        return sound && args.appendCompact(c, s);
    }

    // The numbers of a non-empty array, its '[' taken, up to its ']'.
    bool numbers(Compact& c)
    {
        do {
            if (c.count == AutomationArgs::kCompactNumbers) return false;
            skipSpace();
            bool integer = false;
            if (!number(c.numbers[c.count], integer)) return false;
            if (integer) c.integers = std::uint8_t(c.integers | (1u << c.count));
            ++c.count;
        } while (take(','));
        return take(']');
    }

    void skipSpace()
    {
        // Most bytes are none of JSON's white space, which all lie below '!'.
        if (at_ < text_.size() && static_cast<unsigned char>(text_[at_]) > ' ') return;
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
            ++at_;
    }

    bool take(char c)
    {
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        skipSpace();
        if (at_ == text_.size() || text_[at_] != c) return false;
        ++at_;
        return true;
    }

    // The key at at_ when it is spelled as quotedName (with its quotes),
    // taken with its ':': which; -1 for any other.
    template <std::size_t N>
    int keyIs(const char (&quotedName)[N], int which)
    {
        constexpr std::size_t kSize = N - 1;
        if (text_.size() - at_ < kSize || std::memcmp(text_.data() + at_, quotedName, kSize) != 0) return -1;
        at_ += kSize;
        return take(':') ? which : -1;
    }

    // Which of four keys (each written with its quotes, no two starting
    // with the same letter) the key at at_ is, its ':' taken; -1 for any
    // other key, or one spelled with escapes.
    template <std::size_t A, std::size_t B, std::size_t C, std::size_t D>
    int keyOf(const char (&a)[A], const char (&b)[B], const char (&c)[C], const char (&d)[D])
    {
        skipSpace();
        if (text_.size() - at_ < 2 || text_[at_] != '"') return -1;
        const char first = text_[at_ + 1];
        return first == a[1] ? keyIs(a, 0) : first == b[1] ? keyIs(b, 1) : first == c[1] ? keyIs(c, 2)
               : first == d[1] ? keyIs(d, 3) : -1;
    }

    int requestKey() { return keyOf("\"jsonrpc\"", "\"id\"", "\"method\"", "\"params\""); }
    int paramsKey() { return keyOf("\"target\"", "\"member\"", "\"value\"", "\"args\""); }

    // The params object into call, checked as readParams checks it for any
    // verb; argsSound: args absent, null or an array.
    bool params(AutomationCall& call, bool& hasValue, bool& argsSound)
    {
        if (!take('{')) return false;
        enum { Target, Member, Value, Args };
        bool seen[4] = {};
        do {
            const int k = paramsKey();
            if (k < 0 || seen[k]) return false;
            seen[k] = true;
            skipSpace();
            switch (k) {
            case Target: {
                std::int64_t i = 0;
                double number = -1;
                if (integerToken(i)) {
                    number = double(i);
                } else {
                    const JsonValue v = value(2);
                    if (v.isUndefined()) return false;
                    if (v.isNumber()) number = v.toDouble();
                }
                if (number < 0 || number != std::floor(number) || number > kLargestTarget) return false;
                call.target = static_cast<std::int64_t>(number);
                break;
            }
            case Member: {
                std::string_view s;
                if (!stringValue(2, s) || s.empty()) return false;
                call.member.assign(s);
                break;
            }
            case Value:
                call.value = value(2);
                if (call.value.isUndefined()) return false;
                hasValue = true;
                break;
            default: {
                if (at_ < text_.size() && text_[at_] == '[' && compactArgs(call.args)) break;
                JsonValue v = value(2);
                if (v.isUndefined()) return false;
                argsSound = v.isNull() || v.isArray();
                if (v.isArray()) call.args = AutomationArgs(std::move(v.items()));
            }
            }
        } while (take(','));
        return take('}') && seen[Target] && seen[Member];
    }

    std::string_view text_;
    std::size_t at_ = 0;
    JsonError error_;
    std::string scratch_;
};

bool isBlank(std::string_view line)
{
    for (const char c : line)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r') return false;
    return true;
}

// n's decimal digits at p (at most 20 bytes), two at a time; where they end.
char* writeInteger(char* p, std::int64_t n)
{
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char digits[20];
    char* d = digits + sizeof digits;
    std::uint64_t magnitude = n < 0 ? 0 - std::uint64_t(n) : std::uint64_t(n);
    while (magnitude >= 100) {
        const std::size_t pair = std::size_t(magnitude % 100) * 2;
        magnitude /= 100;
        *--d = kPairs[pair + 1];
        *--d = kPairs[pair];
    }
    if (magnitude >= 10) {
        *--d = kPairs[magnitude * 2 + 1];
        *--d = kPairs[magnitude * 2];
    } else {
        *--d = char('0' + magnitude);
    }
    if (n < 0) *p++ = '-';
    return std::copy(d, digits + sizeof digits, p);
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
    // One object returned whatever the line, built in place.
    AutomationRequest r;
    if (isBlank(line)) return r;
    if (line.back() == '\r') line.remove_suffix(1);
    if (!UsualRequestReader(line).read(r)) r = readByTree(line);
    return r;
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
    // The usual line (an integer id, a short type name of plain ASCII) is
    // put together on the stack and appended in one go.
    constexpr std::string_view kStart = "{\"jsonrpc\":\"2.0\",\"id\":";
    constexpr std::string_view kHandle = ",\"result\":{\"handle\":";
    constexpr std::string_view kType = ",\"type\":\"";
    constexpr std::string_view kEnd = "\"}}\n";
    constexpr std::size_t kShortType = 48;
    const auto plain = [](std::string_view text) {
        for (const char c : text)
            if (!kPlainByte[static_cast<unsigned char>(c)]) return false;
        return true;
    };
    if (id.isInteger() && type.size() <= kShortType && plain(type)) {
        char line[kStart.size() + 20 + kHandle.size() + 20 + kType.size() + kShortType + kEnd.size()];
        char* p = std::copy(kStart.begin(), kStart.end(), line);
        p = writeInteger(p, id.toInteger());
        p = std::copy(kHandle.begin(), kHandle.end(), p);
        p = writeInteger(p, handle);
        p = std::copy(kType.begin(), kType.end(), p);
        p = std::copy(type.begin(), type.end(), p);
        p = std::copy(kEnd.begin(), kEnd.end(), p);
        out.append(line, std::size_t(p - line));
        return;
    }
    out += kStart;
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
