#include "automation/JsonValue.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace tessik::cadhost {

JsonValue JsonValue::boolean(bool b)
{
    JsonValue v(Type::Bool);
    v.bool_ = b;
    return v;
}

JsonValue JsonValue::integer(std::int64_t i)
{
    JsonValue v(Type::Number);
    v.isInteger_ = true;
    v.integer_ = i;
    return v;
}

JsonValue JsonValue::number(double d)
{
    JsonValue v(Type::Number);
    v.number_ = d;
    return v;
}

JsonValue JsonValue::string(std::string text)
{
    JsonValue v(Type::String);
    v.text_ = std::move(text);
    return v;
}

JsonValue JsonValue::array(std::vector<JsonValue> items)
{
    JsonValue v(Type::Array);
    v.items_ = std::move(items);
    return v;
}

JsonValue JsonValue::object(Members members)
{
    JsonValue v(Type::Object);
    v.members_ = std::move(members);
    return v;
}

const JsonValue& JsonValue::operator[](std::string_view key) const
{
    static const JsonValue undefined;
    for (const auto& [name, value] : members_)
        if (name == key) return value;
    return undefined;
}

bool operator==(const JsonValue& a, const JsonValue& b)
{
    if (a.type_ != b.type_) return false;
    switch (a.type_) {
    case JsonValue::Type::Undefined:
    case JsonValue::Type::Null: return true;
    case JsonValue::Type::Bool: return a.bool_ == b.bool_;
    case JsonValue::Type::Number:
        if (a.isInteger_ && b.isInteger_) return a.integer_ == b.integer_;
        return a.toDouble() == b.toDouble();
    case JsonValue::Type::String: return a.text_ == b.text_;
    case JsonValue::Type::Array: return a.items_ == b.items_;
    case JsonValue::Type::Object: return a.members_ == b.members_;
    }
    return false;
}

namespace {

// The length of the UTF-8 sequence at p (at most end - p bytes), or 0 when
// it is not one: overlong forms, surrogates and code points past U+10FFFF
// are not. cp receives the code point.
std::size_t utf8Sequence(const unsigned char* p, const unsigned char* end, char32_t& cp)
{
    const unsigned char c = *p;
    if (c < 0x80) {
        cp = c;
        return 1;
    }
    std::size_t n;
    char32_t min;
    if ((c & 0xe0) == 0xc0) {
        n = 2, cp = c & 0x1f, min = 0x80;
    } else if ((c & 0xf0) == 0xe0) {
        n = 3, cp = c & 0x0f, min = 0x800;
    } else if ((c & 0xf8) == 0xf0) {
        n = 4, cp = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (std::size_t(end - p) < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        if ((p[i] & 0xc0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3f);
    }
    if (cp < min || cp > 0x10ffff || (cp >= 0xd800 && cp <= 0xdfff)) return 0;
    return n;
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += char(cp);
    } else if (cp < 0x800) {
        out += char(0xc0 | (cp >> 6));
        out += char(0x80 | (cp & 0x3f));
    } else if (cp < 0x10000) {
        out += char(0xe0 | (cp >> 12));
        out += char(0x80 | ((cp >> 6) & 0x3f));
        out += char(0x80 | (cp & 0x3f));
    } else {
        out += char(0xf0 | (cp >> 18));
        out += char(0x80 | ((cp >> 12) & 0x3f));
        out += char(0x80 | ((cp >> 6) & 0x3f));
        out += char(0x80 | (cp & 0x3f));
    }
}

class JsonReader {
public:
    JsonReader(std::string_view text, JsonError& error)
        : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()), error_(error)
    {
    }

    JsonValue document()
    {
        JsonValue v = value(0);
        if (failed_) return {};
        skipSpace();
        if (p_ != end_) return fail("garbage at the end of the document");
        return v;
    }

    // One value at the nesting depth given, where reading stopped after it.
    JsonValue nested(int depth, std::size_t& at)
    {
        JsonValue v = value(depth);
        if (failed_) return {};
        at = std::size_t(p_ - begin_);
        return v;
    }

private:
    JsonValue fail(const char* what)
    {
        if (!failed_) {
            failed_ = true;
            error_.offset = std::size_t(p_ - begin_);
            error_.what = what;
        }
        return {};
    }

    void skipSpace()
    {
        while (p_ != end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }

    bool take(char c)
    {
        skipSpace();
        if (p_ == end_ || *p_ != c) return false;
        ++p_;
        return true;
    }

    // Room taken for an array or object's first items, grown from there.
    static constexpr std::size_t kFirstRoom = 4;

    JsonValue value(int depth)
    {
        skipSpace();
        if (p_ == end_) return fail("illegal value");
        switch (*p_) {
        case '{': return object(depth);
        case '[': return array(depth);
        case '"': {
            std::string text;
            if (!string(text)) return {};
            return JsonValue::string(std::move(text));
        }
        case 't': return word("true", JsonValue::boolean(true));
        case 'f': return word("false", JsonValue::boolean(false));
        case 'n': return word("null", JsonValue::null());
        default:
            if (*p_ == '-' || (*p_ >= '0' && *p_ <= '9')) return number();
            return fail("illegal value");
        }
    }

    JsonValue word(std::string_view w, JsonValue v)
    {
        if (std::size_t(end_ - p_) < w.size() || std::string_view(p_, w.size()) != w) return fail("illegal value");
        p_ += w.size();
        return v;
    }

    JsonValue array(int depth)
    {
        if (depth >= kMaxJsonDepth) return fail("too deeply nested");
        ++p_;
        std::vector<JsonValue> items;
        if (take(']')) return JsonValue::array(std::move(items));
        // Requests hold short arrays (points, arguments): room for them at once.
        items.reserve(kFirstRoom);
        do {
            items.push_back(value(depth + 1));
            if (failed_) return {};
        } while (take(','));
        if (!take(']')) return fail(p_ == end_ ? "unterminated array" : "missing value separator");
        return JsonValue::array(std::move(items));
    }

    JsonValue object(int depth)
    {
        if (depth >= kMaxJsonDepth) return fail("too deeply nested");
        ++p_;
        JsonValue::Members members;
        if (take('}')) return JsonValue::object(std::move(members));
        members.reserve(kFirstRoom);
        do {
            skipSpace();
            if (p_ == end_ || *p_ != '"') return fail(p_ == end_ ? "unterminated object" : "missing object key");
            std::string key;
            if (!string(key)) return {};
            if (!take(':')) return fail("missing name separator");
            JsonValue v = value(depth + 1);
            if (failed_) return {};
            // A key given again keeps its place and takes the new value.
            bool replaced = false;
            for (auto& [name, old] : members)
                if (name == key) {
                    old = std::move(v);
                    replaced = true;
                    break;
                }
            if (!replaced) members.emplace_back(std::move(key), std::move(v));
        } while (take(','));
        if (!take('}')) return fail(p_ == end_ ? "unterminated object" : "missing value separator");
        return JsonValue::object(std::move(members));
    }

    // Four hex digits at p_.
    bool hex4(char32_t& unit)
    {
        if (end_ - p_ < 4) return false;
        unit = 0;
        for (int i = 0; i < 4; ++i, ++p_) {
            const char c = *p_;
            unit <<= 4;
            if (c >= '0' && c <= '9')
                unit |= char32_t(c - '0');
            else if (c >= 'a' && c <= 'f')
                unit |= char32_t(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                unit |= char32_t(c - 'A' + 10);
            else
                return false;
        }
        return true;
    }

    bool escape(std::string& out)
    {
        if (p_ == end_) return false;
        const char c = *p_++;
        switch (c) {
        case '"': out += '"'; return true;
        case '\\': out += '\\'; return true;
        case '/': out += '/'; return true;
        case 'b': out += '\b'; return true;
        case 'f': out += '\f'; return true;
        case 'n': out += '\n'; return true;
        case 'r': out += '\r'; return true;
        case 't': out += '\t'; return true;
        case 'u': break;
        default: return false;
        }
        char32_t unit = 0;
        if (!hex4(unit)) return false;
        if (unit >= 0xdc00 && unit <= 0xdfff) return false;  // a low surrogate alone
        if (unit >= 0xd800 && unit <= 0xdbff) {
            char32_t low = 0;
            if (end_ - p_ < 2 || p_[0] != '\\' || p_[1] != 'u') return false;
            p_ += 2;
            if (!hex4(low) || low < 0xdc00 || low > 0xdfff) return false;
            unit = 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
        }
        appendUtf8(out, unit);
        return true;
    }

    bool string(std::string& out)
    {
        ++p_;  // the opening quote
        for (;;) {
            // Runs of plain characters are copied in one go.
            const char* run = p_;
            while (p_ != end_) {
                const unsigned char c = static_cast<unsigned char>(*p_);
                if (c == '"' || c == '\\' || c < 0x20 || c >= 0x80) break;
                ++p_;
            }
            out.append(run, std::size_t(p_ - run));
            if (p_ == end_) return (fail("unterminated string"), false);
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c == '\\') {
                const char* at = p_++;
                if (!escape(out)) {
                    p_ = at;
                    return (fail("illegal escape sequence"), false);
                }
            } else if (c < 0x20) {
                return (fail("control character in string"), false);
            } else {
                char32_t cp = 0;
                const std::size_t n = utf8Sequence(reinterpret_cast<const unsigned char*>(p_),
                                                   reinterpret_cast<const unsigned char*>(end_), cp);
                if (n == 0) return (fail("invalid UTF8 string"), false);
                out.append(p_, n);
                p_ += n;
            }
        }
    }

    // JSON's number grammar, checked here since from_chars takes more
    // ("01", ".5", "1." and the like).
    JsonValue number()
    {
        const char* begin = p_;
        const auto digits = [&] {
            const char* from = p_;
            while (p_ != end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ - from;
        };
        if (*p_ == '-') ++p_;
        const char* intStart = p_;
        const auto intDigits = digits();
        if (intDigits == 0 || (intDigits > 1 && *intStart == '0')) return fail("illegal number");
        bool integral = true;
        if (p_ != end_ && *p_ == '.') {
            ++p_;
            if (digits() == 0) return fail("illegal number");
            integral = false;
        }
        if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (digits() == 0) return fail("illegal number");
            integral = false;
        }
        if (integral) {
            std::int64_t i = 0;
            const auto [at, ec] = std::from_chars(begin, p_, i);
            // "-0" is the integer 0, as it is for Qt's and Python's readers.
            if (ec == std::errc() && at == p_) return JsonValue::integer(i);
        }
        double d = 0;
        const auto [at, ec] = std::from_chars(begin, p_, d);
        if (ec == std::errc::result_out_of_range && at == p_ && underflows(begin, p_))
            return JsonValue::number(*begin == '-' ? -0.0 : 0.0);
        if (ec != std::errc() || at != p_ || !std::isfinite(d)) {
            p_ = begin;
            return fail("illegal number");
        }
        return JsonValue::number(d);
    }

    // Whether a number token out of a double's range is too small rather
    // than too large: the power of ten of its first significant digit is
    // negative.
    static bool underflows(const char* p, const char* end)
    {
        if (*p == '-') ++p;
        long long power = 0;
        const char* digits = p;
        while (p != end && *p >= '0' && *p <= '9') ++p;
        if (p - digits > 1 || *digits != '0') {
            power = (p - digits) - 1;
            while (p != end && (*p == '.' || (*p >= '0' && *p <= '9'))) ++p;
        } else if (p != end && *p == '.') {
            ++p;
            const char* zeros = p;
            while (p != end && *p == '0') ++p;
            power = -((p - zeros) + 1);
            while (p != end && *p >= '0' && *p <= '9') ++p;
        }
        if (p != end && (*p == 'e' || *p == 'E')) {
            ++p;
            const bool negative = *p == '-';
            if (*p == '-' || *p == '+') ++p;
            long long exponent = 0;
            for (; p != end && exponent < 1000000000; ++p) exponent = exponent * 10 + (*p - '0');
            power += negative ? -exponent : exponent;
        }
        return power < 0;
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    JsonError& error_;
    bool failed_ = false;
};

constexpr char kHex[] = "0123456789abcdef";

}  // namespace

JsonValue readJson(std::string_view text, JsonError& error)
{
    return JsonReader(text, error).document();
}

JsonValue readJsonValue(std::string_view text, std::size_t& at, int depth, JsonError& error)
{
    const std::size_t from = std::min(at, text.size());
    std::size_t used = 0;
    JsonValue v = JsonReader(text.substr(from), error).nested(depth, used);
    if (v.isUndefined())
        error.offset += from;
    else
        at = from + used;
    return v;
}

void appendJsonString(std::string& out, std::string_view utf8)
{
    out += '"';
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const auto* end = p + utf8.size();
    while (p != end) {
        const unsigned char* run = p;
        while (p != end && *p >= 0x20 && *p < 0x80 && *p != '"' && *p != '\\') ++p;
        out.append(reinterpret_cast<const char*>(run), std::size_t(p - run));
        if (p == end) break;
        const unsigned char c = *p;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++p;
        } else if (c < 0x20) {
            switch (c) {
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += kHex[c >> 4];
                out += kHex[c & 0xf];
            }
            ++p;
        } else {
            char32_t cp = 0;
            const std::size_t n = utf8Sequence(p, end, cp);
            if (n == 0) {
                out += "\xef\xbf\xbd";  // U+FFFD for a byte that starts no sequence
                ++p;
            } else {
                out.append(reinterpret_cast<const char*>(p), n);
                p += n;
            }
        }
    }
    out += '"';
}

void appendJson(std::string& out, const JsonValue& value)
{
    switch (value.type()) {
    case JsonValue::Type::Undefined:
    case JsonValue::Type::Null: out += "null"; return;
    case JsonValue::Type::Bool: out += value.toBool() ? "true" : "false"; return;
    case JsonValue::Type::Number: {
        char digits[32];
        if (value.isInteger()) {
            out.append(digits, std::to_chars(digits, digits + sizeof digits, value.toInteger()).ptr);
            return;
        }
        const double d = value.toDouble();
        if (!std::isfinite(d)) {
            out += "null";
            return;
        }
        // The shortest digits that read back as the same double.
        out.append(digits, std::to_chars(digits, digits + sizeof digits, d).ptr);
        return;
    }
    case JsonValue::Type::String: appendJsonString(out, value.text()); return;
    case JsonValue::Type::Array: {
        out += '[';
        bool first = true;
        for (const JsonValue& item : value.items()) {
            if (!first) out += ',';
            first = false;
            appendJson(out, item);
        }
        out += ']';
        return;
    }
    case JsonValue::Type::Object: {
        out += '{';
        bool first = true;
        for (const auto& [key, item] : value.members()) {
            if (!first) out += ',';
            first = false;
            appendJsonString(out, key);
            out += ':';
            appendJson(out, item);
        }
        out += '}';
        return;
    }
    }
}

}  // namespace tessik::cadhost
