#include "DxfText.h"

#include <cstdint>
#include <optional>

#include "TextCodec.h"

namespace tessik::dxf {

namespace {

void appendUtf8(std::string& out, std::uint32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The length of the UTF-8 sequence at s[i] and its code point; nullopt when invalid.
std::optional<std::pair<std::size_t, std::uint32_t>> utf8At(std::string_view s, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return std::pair<std::size_t, std::uint32_t>{1, c};
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07;
    else return std::nullopt;
    if (i + n > s.size()) return std::nullopt;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return std::pair<std::size_t, std::uint32_t>{n, cp};
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// "\U+XXXX" at s[i]: its code point. Control characters stay as written:
// decoded, a \U+000A would be a line break that no text value can hold.
std::optional<std::uint32_t> escapeAt(std::string_view s, std::size_t i)
{
    if (i + 7 > s.size() || s[i] != '\\' || (s[i + 1] != 'U' && s[i + 1] != 'u') || s[i + 2] != '+')
        return std::nullopt;
    std::uint32_t cp = 0;
    for (std::size_t k = 3; k < 7; ++k) {
        const int d = hexDigit(s[i + k]);
        if (d < 0) return std::nullopt;
        cp = cp * 16 + static_cast<std::uint32_t>(d);
    }
    if (cp < 0x20 || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    return cp;
}

// "\M+nXXXX" at s[i]: a double-byte character XXXX of the East Asian code
// page n selects (1 Japanese, 2 traditional Chinese, 3 Korean, 4 Korean
// Johab, 5 simplified Chinese), as UTF-8. Nothing when it is no such escape
// or the code page has no such character: it then stays as written.
std::optional<std::string> multibyteEscapeAt(std::string_view s, std::size_t i)
{
    if (i + 8 > s.size() || s[i] != '\\' || (s[i + 1] != 'M' && s[i + 1] != 'm') || s[i + 2] != '+')
        return std::nullopt;
    static constexpr unsigned kCodePages[] = {932, 950, 949, 1361, 936};
    const char n = s[i + 3];
    if (n < '1' || n > '5') return std::nullopt;
    unsigned code = 0;
    for (std::size_t k = 4; k < 8; ++k) {
        const int d = hexDigit(s[i + k]);
        if (d < 0) return std::nullopt;
        code = code * 16 + static_cast<unsigned>(d);
    }
    if (code < 0x8000) return std::nullopt;  // a lead byte is never ASCII
    const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
    auto out = os::decodeCodePage(std::string_view(bytes, 2), kCodePages[n - '1']);
    if (!out || out->empty()) return std::nullopt;
    return out;
}

// UTF-8 (possibly damaged) with the escapes decoded; damaged bytes become U+FFFD.
std::string cleanUtf8(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        if (auto cp = escapeAt(s, i)) {
            appendUtf8(out, *cp);
            i += 7;
        } else if (auto ch = multibyteEscapeAt(s, i)) {
            out += *ch;
            i += 8;
        } else if (auto seq = utf8At(s, i)) {
            out.append(s.substr(i, seq->first));
            i += seq->first;
        } else {
            appendUtf8(out, 0xFFFD);
            ++i;
        }
    }
    return out;
}

}  // namespace

unsigned codePageOf(std::string_view codePage)
{
    std::string cp;
    for (char c : codePage) cp += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    if (cp == "ANSI_936") return 936;
    if (cp == "ANSI_950") return 950;
    if (cp == "ANSI_932") return 932;
    if (cp == "ANSI_949") return 949;
    if (cp == "ANSI_874") return 874;
    if (cp.size() == 9 && cp.starts_with("ANSI_125") && cp[8] >= '0' && cp[8] <= '8')
        return 1250 + static_cast<unsigned>(cp[8] - '0');
    if (cp == "DOS437") return 437;
    if (cp == "DOS850") return 850;
    if (cp == "DOS866") return 866;
    return 1252;
}

std::string decodeDxfText(std::string_view raw, std::string_view codePage, bool unicode)
{
    if (unicode) return cleanUtf8(raw);
    // ASCII needs no converter, and most texts are ASCII.
    bool ascii = true;
    for (char c : raw) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) return cleanUtf8(raw);
    // One bad byte costs one character.
    return cleanUtf8(os::decodeCodePageLossy(raw, codePageOf(codePage)));
}

Result<std::string> encodeDxfText(std::string_view utf8, std::string_view codePage, bool unicode)
{
    const auto refused = [](const char* why) { return Error{errc::kTypeMismatch, why, {}}; };
    const unsigned page = codePageOf(codePage);
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto seq = utf8At(utf8, i);
        if (!seq) return refused("文字不是有效的 UTF-8");
        const auto [n, cp] = *seq;
        if (cp == '\r' || cp == '\n') return refused("DXF 文字不能含有换行");
        const std::string_view ch = utf8.substr(i, n);
        i += n;
        // A backslash that would read back as the start of an escape is
        // itself escaped, so "\U+0041" typed as text stays that text.
        if (cp == '\\' && (escapeAt(utf8, i - n) || multibyteEscapeAt(utf8, i - n))) {
            out += "\\U+005C";
            continue;
        }
        if (cp < 0x80 || unicode) {
            out.append(ch);
            continue;
        }
        if (cp <= 0xFFFF) {
            if (auto bytes = os::encodeCodePage(ch, page)) {
                out += *bytes;
                continue;
            }
        }
        if (cp > 0xFFFF) return refused("文字含有 DXF 无法表示的字符（U+FFFF 以上）");
        static const char* digits = "0123456789ABCDEF";
        out += "\\U+";
        for (int shift = 12; shift >= 0; shift -= 4) out += digits[(cp >> shift) & 0xF];
    }
    return out;
}

}  // namespace tessik::dxf
