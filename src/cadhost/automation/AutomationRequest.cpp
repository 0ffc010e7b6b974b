#include "automation/AutomationRequest.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "automation/AutomationError.h"

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
template <class Text>
bool readVerb(const Text& name, Verb& verb)
{
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

// The members of a request the protocol looks at, each absent or its value;
// whatever else a request carries is ignored.
// The members that are strings in every sound request are kept, when the
// plain reader reads them, as the line's own Latin-1 bytes (the line outlives
// the reading); a string inside a JSON value costs an allocation of its own.
struct TextField {
    std::optional<QJsonValue> json;
    std::optional<QLatin1String> text;
    bool present() const { return json || text; }
    bool isString() const { return text || (json && json->isString()); }
    QString string() const { return text ? QString(*text) : json ? json->toString() : QString(); }
    bool is(QLatin1String s) const { return text ? *text == s : json && json->toString() == s; }
    bool readVerb(Verb& verb) const
    {
        return text ? tessik::cadhost::readVerb(*text, verb) : tessik::cadhost::readVerb(string(), verb);
    }
};
struct ParamFields {
    std::optional<QJsonValue> target, value, args;
    std::optional<AutomationArgs> plainArgs;  // args as the plain reader read them
    TextField member;
};
struct RequestFields {
    std::optional<QJsonValue> id, params;  // params: only when not an object
    TextField jsonrpc, method;
    bool paramsObject = false;
    ParamFields p;
};

std::optional<QJsonValue> field(const QJsonObject& o, QLatin1String key)
{
    const auto at = o.constFind(key);
    return at == o.constEnd() ? std::nullopt : std::optional<QJsonValue>(*at);
}

RequestFields fieldsOf(const QJsonObject& request)
{
    RequestFields f;
    f.id = field(request, QLatin1String("id"));
    f.jsonrpc.json = field(request, QLatin1String("jsonrpc"));
    f.method.json = field(request, QLatin1String("method"));
    f.params = field(request, QLatin1String("params"));
    if (f.params && f.params->isObject()) {
        const QJsonObject params = f.params->toObject();
        f.paramsObject = true;
        f.params.reset();
        f.p.target = field(params, QLatin1String("target"));
        f.p.member.json = field(params, QLatin1String("member"));
        f.p.value = field(params, QLatin1String("value"));
        f.p.args = field(params, QLatin1String("args"));
    }
    return f;
}

// Reads params into inv; an empty string when they are sound, else why not.
QString readParams(ParamFields& params, AutomationDispatcher::Invocation& inv, std::int32_t& code)
{
    code = kInvalidParams;
    const QJsonValue target = params.target.value_or(QJsonValue(QJsonValue::Undefined));
    const double number = target.toDouble(-1);
    if (!target.isDouble() || number < 0 || number != std::floor(number) || number > kLargestTarget)
        return QStringLiteral("target 必须是非负整数。");
    inv.target = static_cast<std::int64_t>(number);
    if (!params.member.isString() || params.member.string().isEmpty())
        return QStringLiteral("member 必须是非空字符串。");
    inv.member = params.member.string();
    if (inv.verb == Verb::Set) {
        if (!params.value) return QStringLiteral("set 需要 value。");
        inv.value = *params.value;
    }
    if (inv.verb == Verb::Call && params.plainArgs) {
        inv.args = std::move(*params.plainArgs);
    } else if (inv.verb == Verb::Call && params.args) {
        const QJsonValue& args = *params.args;
        if (!args.isUndefined() && !args.isNull() && !args.isArray()) return QStringLiteral("args 必须是数组。");
        inv.args = args.toArray();
    }
    return {};
}

AutomationRequest readRequest(RequestFields& request)
{
    const bool wantsReply = request.id.has_value();
    const QJsonValue id = request.id.value_or(QJsonValue());
    if (!id.isNull() && !id.isDouble() && !id.isString())
        return refused(QJsonValue(), true, kInvalidRequest, QStringLiteral("id 必须是数字或字符串。"));
    if (!request.jsonrpc.is(QLatin1String("2.0")))
        return refused(id, wantsReply, kInvalidRequest, QStringLiteral("缺少 \"jsonrpc\":\"2.0\"。"));
    if (!request.method.isString())
        return refused(id, wantsReply, kInvalidRequest, QStringLiteral("缺少方法名 method。"));
    AutomationRequest r;
    if (!request.method.readVerb(r.invocation.verb))
        return refused(id, wantsReply, kMethodNotFound,
                       QStringLiteral("未知的方法“%1”：应为 get、set 或 call。").arg(request.method.string()));
    if (!request.paramsObject) return refused(id, wantsReply, kInvalidParams, QStringLiteral("params 必须是对象。"));
    std::int32_t code = 0;
    if (const QString why = readParams(request.p, r.invocation, code); !why.isEmpty())
        return refused(id, wantsReply, code, why);
    r.outcome = AutomationRequest::Outcome::Invoke;
    r.id = id;
    r.wantsReply = wantsReply;
    return r;
}

// A reader for the plain lines clients send nearly always: values of
// numbers, arrays, literals and strings of printable ASCII without escapes,
// no more than a few levels deep, objects only where the envelope has them.
// Anything else (or anything it is unsure of) makes it give up, and the line
// goes to the full JSON parser, which also words the errors.
class PlainRequestReader {
public:
    explicit PlainRequestReader(QByteArrayView line) : p_(line.data()), end_(line.data() + line.size()) {}

    std::optional<RequestFields> read()
    {
        RequestFields f;
        const bool ok = object([&](QByteArrayView key) {
            if (key == "params") {
                if (f.paramsObject || !peek('{')) return false;
                f.paramsObject = true;
                return params(f.p);
            }
            if (key == "jsonrpc") return storeText(f.jsonrpc);
            if (key == "method") return storeText(f.method);
            return store(key == "id" ? &f.id : nullptr);
        });
        if (!ok || (skipSpace(), p_ != end_)) return std::nullopt;
        return f;
    }

private:
    bool params(ParamFields& p)
    {
        return object([&](QByteArrayView key) {
            if (key == "member") return storeText(p.member);
            if (key == "args") return storeArgs(p);
            return store(key == "target" ? &p.target : key == "value" ? &p.value : nullptr);
        });
    }

    // An array of arguments straight into AutomationArgs; anything else as
    // a value, which readParams judges.
    bool storeArgs(ParamFields& p)
    {
        if (p.args || p.plainArgs) return false;
        if (!peek('[')) return store(&p.args);
        AutomationArgs args;
        if (!arguments(args, 0, false)) return false;
        p.plainArgs = std::move(args);
        return true;
    }

    // The array at p_ (depth as value() counts it): its elements added to
    // args, inside an array of args's own unless it is the outermost one.
    bool arguments(AutomationArgs& args, int depth, bool nested)
    {
        if (depth >= kMaxDepth) return false;
        ++p_;
        const qsizetype at = nested ? args.openArray() : 0;
        if (!take(']')) {
            do {
                if (!argument(args, depth + 1)) return false;
            } while (take(','));
            if (!take(']')) return false;
        }
        if (nested) args.closeArray(at);
        return true;
    }

    bool argument(AutomationArgs& args, int depth)
    {
        skipSpace();
        if (p_ == end_) return false;
        switch (*p_) {
        case '[': return arguments(args, depth, true);
        case '"': {
            QByteArrayView text;
            if (!string(text)) return false;
            args.addString(text);
            return true;
        }
        case 't': return word("true") && (args.addLiteral(false, true), true);
        case 'f': return word("false") && (args.addLiteral(false, false), true);
        case 'n': return word("null") && (args.addLiteral(true, false), true);
        default: {
            qint64 integer = 0;
            double real = 0;
            switch (number(integer, real)) {
            case NumberKind::Integer: args.addInteger(integer); return true;
            case NumberKind::Double: args.addDouble(real); return true;
            case NumberKind::None: return false;
            }
            return false;
        }
        }
    }

    // A value into slot (read and dropped when slot is null); a key given
    // twice is left to the full parser.
    bool store(std::optional<QJsonValue>* slot)
    {
        std::optional<QJsonValue> v = value(0);
        if (!v) return false;
        if (!slot) return true;
        if (slot->has_value()) return false;
        *slot = std::move(v);
        return true;
    }

    bool storeText(TextField& slot)
    {
        if (slot.present()) return false;
        if (!peek('"')) return store(&slot.json);
        QByteArrayView text;
        if (!string(text)) return false;
        slot.text = QLatin1String(text.data(), text.size());
        return true;
    }

    template <class OnKey>
    bool object(OnKey&& onKey)
    {
        if (!take('{')) return false;
        if (take('}')) return true;
        do {
            QByteArrayView key;
            if (!string(key) || !take(':') || !onKey(key)) return false;
        } while (take(','));
        return take('}');
    }

    std::optional<QJsonValue> value(int depth)
    {
        skipSpace();
        if (p_ == end_) return std::nullopt;
        switch (*p_) {
        case '[': return array(depth);
        case '"': {
            QByteArrayView text;
            if (!string(text)) return std::nullopt;
            return QJsonValue(QString::fromLatin1(text));
        }
        case 't': return literal("true", QJsonValue(true));
        case 'f': return literal("false", QJsonValue(false));
        case 'n': return literal("null", QJsonValue());
        default: return number();
        }
    }

    std::optional<QJsonValue> array(int depth)
    {
        if (depth >= kMaxDepth) return std::nullopt;
        ++p_;
        QJsonArray a;
        if (take(']')) return QJsonValue(a);
        do {
            std::optional<QJsonValue> v = value(depth + 1);
            if (!v) return std::nullopt;
            a.append(*v);
        } while (take(','));
        if (!take(']')) return std::nullopt;
        return QJsonValue(a);
    }

    bool string(QByteArrayView& out)
    {
        if (!take('"')) return false;
        const char* begin = p_;
        while (p_ != end_ && *p_ != '"') {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c < 0x20 || c > 0x7e || c == '\\') return false;
            ++p_;
        }
        if (p_ == end_) return false;
        out = QByteArrayView(begin, p_ - begin);
        ++p_;
        return true;
    }

    bool word(std::string_view w)
    {
        if (end_ - p_ < qsizetype(w.size()) || std::string_view(p_, w.size()) != w) return false;
        p_ += w.size();
        return true;
    }
    std::optional<QJsonValue> literal(std::string_view w, QJsonValue v)
    {
        if (!word(w)) return std::nullopt;
        return v;
    }

    enum class NumberKind { None, Integer, Double };
    NumberKind number(qint64& integer, double& real);
    std::optional<QJsonValue> number()
    {
        qint64 integer = 0;
        double real = 0;
        switch (number(integer, real)) {
        case NumberKind::Integer: return QJsonValue(integer);
        case NumberKind::Double: return QJsonValue(real);
        case NumberKind::None: break;
        }
        return std::nullopt;
    }

    void skipSpace()
    {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool peek(char c)
    {
        skipSpace();
        return p_ != end_ && *p_ == c;
    }
    bool take(char c)
    {
        if (!peek(c)) return false;
        ++p_;
        return true;
    }

    static constexpr int kMaxDepth = 8;
    const char* p_;
    const char* end_;
};

// JSON's number grammar, checked here since from_chars takes more (a
// leading '+' no, but "01", ".5" or "1." yes). An integer that fits 64 bits
// stays one, as the full parser keeps it; anything out of a double's range
// goes to the full parser.
PlainRequestReader::NumberKind PlainRequestReader::number(qint64& integer, double& real)
{
    const char* begin = p_;
    const auto digits = [&] {
        const char* from = p_;
        while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        return p_ - from;
    };
    if (p_ != end_ && *p_ == '-') ++p_;
    const char* intStart = p_;
    const auto intDigits = digits();
    if (intDigits == 0 || (intDigits > 1 && *intStart == '0')) return NumberKind::None;
    bool integral = true;
    if (p_ != end_ && *p_ == '.') {
        ++p_;
        if (digits() == 0) return NumberKind::None;
        integral = false;
    }
    if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
        ++p_;
        if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
        if (digits() == 0) return NumberKind::None;
        integral = false;
    }
    if (integral && intDigits < 19 && std::from_chars(begin, p_, integer).ec == std::errc())
        return NumberKind::Integer;
    const auto [at, ec] = std::from_chars(begin, p_, real);
    if (ec != std::errc() || at != p_ || !std::isfinite(real)) return NumberKind::None;
    return NumberKind::Double;
}

void appendValue(QByteArray& out, const QJsonValue& value);

// A string of printable ASCII needing no escapes (names, types, most
// messages' keys) is written as it is; any other goes through the document
// writer.
bool appendPlainString(QByteArray& out, const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() > 0x7e || c == u'"' || c == u'\\') return false;
    const qsizetype at = out.size();
    out.resize(at + text.size() + 2);
    char* to = out.data() + at;
    *to++ = '"';
    for (const QChar c : text) *to++ = char(c.unicode());
    *to = '"';
    return true;
}

template <class Container, class Each>
void appendContainer(QByteArray& out, const Container& items, char open, char close, Each&& each)
{
    out += open;
    bool first = true;
    for (auto it = items.begin(); it != items.end(); ++it) {
        if (!first) out += ',';
        first = false;
        each(it);
    }
    out += close;
}

// A JSON value as it appears inside a reply line. Integers (ids, handles,
// counts), plain strings, and the objects and arrays made of them are the
// common case and are written without building a document.
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
            char digits[24];
            const auto end = std::to_chars(digits, digits + sizeof digits, static_cast<qint64>(d)).ptr;
            out.append(digits, end - digits);
            return;
        }
        break;
    }
    case QJsonValue::String:
        if (appendPlainString(out, value.toString())) return;
        break;
    case QJsonValue::Object: {
        const QJsonObject o = value.toObject();
        // A handle, the commonest result, is written from its two values
        // without walking the object's keys (each read out as a new string);
        // the keys come in the order the walk gives them.
        if (o.size() == 2) {
            const auto handle = o.constFind(QLatin1String("handle"));
            const auto type = o.constFind(QLatin1String("type"));
            if (handle != o.constEnd() && type != o.constEnd()) {
                out += "{\"handle\":";
                appendValue(out, *handle);
                out += ",\"type\":";
                appendValue(out, *type);
                out += '}';
                return;
            }
        }
        appendContainer(out, o, '{', '}', [&](QJsonObject::const_iterator it) {
            if (!appendPlainString(out, it.key())) appendValue(out, QJsonValue(it.key()));
            out += ':';
            appendValue(out, it.value());
        });
        return;
    }
    case QJsonValue::Array: {
        const QJsonArray a = value.toArray();
        appendContainer(out, a, '[', ']', [&](QJsonArray::const_iterator it) { appendValue(out, *it); });
        return;
    }
    }
    // Other strings and numbers: the document writer's escaping and digits,
    // without the brackets of the array that carries the value.
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    out.append(wrapped.constData() + 1, wrapped.size() - 2);
}

}  // namespace

std::optional<AutomationRequest> parsePlainRequest(QByteArrayView line)
{
    if (line.endsWith('\r')) line.chop(1);
    if (std::optional<RequestFields> plain = PlainRequestReader(line).read()) return readRequest(*plain);
    return std::nullopt;
}

AutomationRequest parseJsonRequest(QByteArrayView line)
{
    if (line.endsWith('\r')) line.chop(1);
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(line.toByteArray(), &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return refused(QJsonValue(), true, kParseError,
                       QStringLiteral("JSON 格式错误（第 %1 个字节）：%2")
                           .arg(parseError.offset)
                           .arg(parseError.errorString()));
    if (!doc.isObject())
        return refused(QJsonValue(), true, kInvalidRequest, QStringLiteral("请求必须是一个 JSON 对象。"));
    RequestFields fields = fieldsOf(doc.object());
    return readRequest(fields);
}

AutomationRequest parseRequest(QByteArrayView line)
{
    // Blank with or without its '\r' (trimmed drops it too); each reader
    // drops it itself.
    if (line.trimmed().isEmpty()) return {};
    if (std::optional<AutomationRequest> plain = parsePlainRequest(line)) return std::move(*plain);
    return parseJsonRequest(line);
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

QByteArray handleReply(const QJsonValue& id, std::int64_t handle, std::string_view type)
{
    QByteArray out;
    out.reserve(80);
    out += "{\"jsonrpc\":\"2.0\",\"id\":";
    appendValue(out, id);
    out += ",\"result\":{\"handle\":";
    char digits[24];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, handle).ptr - digits);
    out += ",\"type\":";
    const bool plain =
        std::all_of(type.begin(), type.end(), [](char c) { return c >= 0x20 && c <= 0x7e && c != '"' && c != '\\'; });
    if (plain) {
        out += '"';
        out.append(type.data(), qsizetype(type.size()));
        out += '"';
    } else {
        appendValue(out, QJsonValue(QString::fromUtf8(type.data(), qsizetype(type.size()))));
    }
    out += "}}\n";
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
