#include "DxfTagReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>

#include "NumberText.h"

namespace tessik::dxf {

namespace {

constexpr std::string_view kBinarySentinel = kBinaryDxfSentinel;

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

template <class Int>
bool parseInt(std::string_view s, Int& out)
{
    s = trimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && ptr == s.data() + s.size();
}

bool parseDouble(std::string_view s, double& out)
{
    s = trimBlanks(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    // from_chars also takes "nan" and "inf"; a number must have a digit.
    const char c = s.front() == '-' && s.size() > 1 ? s[1] : s.front();
    if (!(c >= '0' && c <= '9') && c != '.') return false;
    return readReal(s, out) && std::isfinite(out);
}

bool isHex(std::string_view s)
{
    if (s.size() % 2 != 0) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return false;
    return true;
}

std::string kindName(ValueKind kind)
{
    switch (kind) {
    case ValueKind::Double: return "实数";
    case ValueKind::Int16: return "16 位整数";
    case ValueKind::Int32: return "32 位整数";
    case ValueKind::Int64: return "64 位整数";
    case ValueKind::Bool: return "0 到 255 的整数";
    case ValueKind::Binary: return "十六进制数据";
    case ValueKind::String: break;
    }
    return "文字";
}

Error lineError(std::size_t line, const std::string& what)
{
    return Error{errc::kTypeMismatch, "第 " + std::to_string(line) + " 行：" + what, {}};
}

std::string shown(std::string_view value)
{
    constexpr std::size_t kShown = 40;
    std::string s(value.substr(0, kShown));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20) c = '?';
    return value.size() > kShown ? s + "…" : s;
}

// The group code line: blanks, up to four digits (a minus sign for the
// negative codes), blanks; anything else goes through the full check.
bool readCode(std::string_view s, int& code)
{
    std::size_t i = 0, n = s.size();
    while (i < n && s[i] == ' ') ++i;
    while (n > i && s[n - 1] == ' ') --n;
    const bool negative = i < n && s[i] == '-';
    if (negative) ++i;
    if (n == i || n - i > 4) return parseInt(s, code);
    int v = 0;
    for (; i < n; ++i) {
        if (s[i] < '0' || s[i] > '9') return parseInt(s, code);
        v = v * 10 + (s[i] - '0');
    }
    code = negative ? -v : v;
    return true;
}

// The LFs in text, eight bytes at a time: a byte of w ^ LF is zero where
// the text has an LF, and the high bit of each zero byte is found exactly;
// the multiplication adds the eight flags up in the top byte.
std::size_t lineEnds(std::string_view text)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    constexpr std::uint64_t kLf = 0x0A0A0A0A0A0A0A0Aull;
    std::size_t count = 0, i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, text.data() + i, 8);
        const std::uint64_t x = w ^ kLf;
        const std::uint64_t found = ~(((x & kLow7) + kLow7) | x | kLow7) >> 7;  // 1 in each LF byte
        count += static_cast<std::size_t>((found * 0x0101010101010101ull) >> 56);
    }
    for (; i < text.size(); ++i) count += text[i] == '\n';
    return count;
}

// What reading one part of a text file came to: the tags it made, whether
// it met 0 EOF, and the error that stopped it.
struct AsciiPart {
    std::size_t count = 0;
    bool eof = false;
    std::optional<Error> error;
};

// Makes the tags of bytes[pos, stop) in out, one slot after the other, as
// views into bytes (out has room for one a two lines); line is the number
// of lines before pos. stop is the end of the file or the start of a code
// line.
AsciiPart readAsciiPart(std::string_view bytes, std::size_t pos, std::size_t stop, std::size_t line, DxfTag* out)
{
    AsciiPart part;
    const auto nextLine = [&](std::string_view& text) {
        if (pos >= stop) return false;
        // Lines are a few bytes: a plain loop finds their end sooner than memchr.
        std::size_t end = pos;
        while (end < stop && bytes[end] != '\n') ++end;
        text = bytes.substr(pos, end - pos);
        // Every CR before the LF goes, so what the writer puts back reads the same.
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        pos = end < stop ? end + 1 : stop;
        ++line;
        return true;
    };
    std::string_view codeText, value;
    while (nextLine(codeText)) {
        if (pos >= bytes.size() && trimBlanks(codeText).empty()) break;  // final blank line
        int code = 0;
        if (!readCode(codeText, code) || code < kMinCode || code > kMaxCode) {
            part.error = lineError(line, "“" + shown(codeText) + "”不是组码");
            return part;
        }
        const std::size_t codeLine = line;
        if (!nextLine(value)) {
            part.error = lineError(codeLine, "组码 " + std::to_string(code) + " 之后文件结束，缺少它的值");
            return part;
        }
        if (!validValue(code, value)) {
            part.error = lineError(line, "组码 " + std::to_string(code) + " 的值“" + shown(value) + "”不是" +
                                             kindName(valueKind(code)));
            return part;
        }
        if (value.size() > TagText::kMaxSize) {
            part.error = lineError(line, "组码 " + std::to_string(code) + " 的值太长");
            return part;
        }
        ::new (static_cast<void*>(out + part.count)) DxfTag{code, TagText::view(value)};
        ++part.count;
        if (code == 0 && value == "EOF") {
            part.eof = true;
            break;
        }
    }
    return part;
}

Result<DxfTagList> readAscii(std::string_view bytes, unsigned parts)
{
    // A UTF-8 byte-order mark (some writers of R2007+ files put one first).
    const std::size_t first = bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
    // Each part starts at a code line: an even number of lines after the
    // first, found by counting the line ends before it.
    struct Span {
        std::size_t begin, lines;
    };
    std::vector<Span> starts{{first, 0}};
    std::size_t lines = 0, counted = first;
    const auto countTo = [&](std::size_t to) {
        lines += lineEnds(bytes.substr(counted, to - counted));
        counted = to;
    };
    const auto lineEnd = [&](std::size_t from) {
        const std::size_t lf = bytes.find('\n', from);
        return lf == std::string_view::npos ? bytes.size() : lf + 1;
    };
    for (unsigned k = 1; k < parts; ++k) {
        std::size_t at = std::max(bytes.size() / parts * k, starts.back().begin);
        if (at > first) at = lineEnd(at - 1);
        if (at >= bytes.size()) break;
        countTo(at);
        if (lines % 2 != 0) {
            at = lineEnd(at);
            if (at >= bytes.size()) break;
            countTo(at);
        }
        if (at > starts.back().begin) starts.push_back({at, lines});
    }
    countTo(bytes.size());
    // A tag is two lines, so the tag of a part's first line has index half
    // its line number, and each part's tags go straight to their place in
    // one list: room for a tag every two lines (the last line may be
    // unended) is taken, and only what the tags fill is touched, so a
    // damaged file (a run of blank lines, say) stops at its first error
    // having filled nothing. Then the parts are taken in order, as one
    // reading would have met them: the first error or 0 EOF ends the file.
    DxfTagList tags;
    tags.reserve(lines / 2 + 1);
    DxfTag* const room = tags.room();
    std::vector<AsciiPart> read(starts.size());
    const auto readPart = [&](std::size_t k) {
        const std::size_t stop = k + 1 == starts.size() ? bytes.size() : starts[k + 1].begin;
        read[k] = readAsciiPart(bytes, starts[k].begin, stop, starts[k].lines, room + starts[k].lines / 2);
    };
    std::vector<std::thread> others;
    for (std::size_t k = 1; k < starts.size(); ++k) {
        try {
            others.emplace_back(readPart, k);
        } catch (const std::system_error&) {
            readPart(k);  // no thread to be had: read it here
        }
    }
    readPart(0);
    for (std::thread& t : others) t.join();
    // A part that read to its end without an error or 0 EOF made a tag every
    // two of its lines, so the parts up to the first that stopped lie end to
    // end; the tags of the parts after it are not the file's.
    std::size_t used = 0;
    while (used + 1 < read.size() && !read[used].error && !read[used].eof) ++used;
    for (std::size_t k = used + 1; k < read.size(); ++k) std::destroy_n(room + starts[k].lines / 2, read[k].count);
    const std::size_t made = starts[used].lines / 2 + read[used].count;
    if (read[used].error) {
        std::destroy_n(room, made);
        return *read[used].error;
    }
    tags.adopt(made);
    return tags;
}

class BinaryCursor {
public:
    explicit BinaryCursor(std::string_view bytes) : bytes_(bytes) {}
    std::size_t offset() const { return pos_; }
    bool atEnd() const { return pos_ >= bytes_.size(); }
    template <class T>
    bool little(T& out)
    {
        if (bytes_.size() - pos_ < sizeof(T)) return false;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < sizeof(T); ++i)
            v |= std::uint64_t(static_cast<unsigned char>(bytes_[pos_ + i])) << (8 * i);
        pos_ += sizeof(T);
        if constexpr (std::is_same_v<T, double>) {
            std::memcpy(&out, &v, sizeof out);
        } else {
            out = static_cast<T>(v);
        }
        return true;
    }
    bool cString(std::string_view& out)
    {
        const std::size_t end = bytes_.find('\0', pos_);
        if (end == std::string_view::npos) return false;
        out = bytes_.substr(pos_, end - pos_);
        pos_ = end + 1;
        return true;
    }
    bool chunk(std::string_view& out)
    {
        std::uint8_t n = 0;
        if (!little(n) || bytes_.size() - pos_ < n) return false;
        out = bytes_.substr(pos_, n);
        pos_ += n;
        return true;
    }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
};

// The group code at the cursor; what is wrong with it, or null.
const char* readBinaryCode(BinaryCursor& in, bool wideCodes, int& code)
{
    if (wideCodes) {
        std::int16_t c = 0;
        if (!in.little(c)) return "组码不完整";
        code = c;
        return nullptr;
    }
    std::uint8_t c = 0;
    if (!in.little(c)) return "组码不完整";
    code = c;
    if (c == 255) {
        std::int16_t wide = 0;
        if (!in.little(wide)) return "组码不完整";
        code = wide;
    }
    return nullptr;
}

// Reads one little-endian number of type T into its text.
template <class T>
bool readBinaryInteger(BinaryCursor& in, TagText& value)
{
    T v = 0;
    if (!in.little(v)) return false;
    value = std::to_string(v);
    return true;
}

// The value of a tag with this code, as the text a text file would hold
// (a string a view into the file's bytes, as in a text file); what is wrong
// with it, or null.
const char* readBinaryValue(BinaryCursor& in, int code, TagText& value)
{
    switch (valueKind(code)) {
    case ValueKind::Double: {
        double d = 0;
        if (!in.little(d)) return "实数不完整";
        if (!std::isfinite(d)) return "实数不是有限数";
        value = doubleToRoundTripText(d);
        return nullptr;
    }
    case ValueKind::Int16: return readBinaryInteger<std::int16_t>(in, value) ? nullptr : "整数不完整";
    case ValueKind::Int32: return readBinaryInteger<std::int32_t>(in, value) ? nullptr : "整数不完整";
    case ValueKind::Int64: return readBinaryInteger<std::int64_t>(in, value) ? nullptr : "整数不完整";
    case ValueKind::Bool: {
        // The byte as written (some programs write 2 for true), so it goes back the same.
        std::uint8_t v = 0;
        if (!in.little(v)) return "布尔值不完整";
        value = std::to_string(v);
        return nullptr;
    }
    case ValueKind::Binary: {
        std::string_view raw;
        if (!in.chunk(raw)) return "二进制数据不完整";
        static const char* digits = "0123456789ABCDEF";
        std::string hex;
        hex.reserve(2 * raw.size());
        for (unsigned char c : raw) {
            hex += digits[c >> 4];
            hex += digits[c & 15];
        }
        value = hex;
        return nullptr;
    }
    case ValueKind::String: {
        std::string_view s;
        // A binary string may hold a line break (AutoCAD writes one in a
        // tolerance's text); the tag keeps it and the binary writer puts it back.
        if (!in.cString(s)) return "文字没有结束符";
        if (s.size() > TagText::kMaxSize) return "文字太长";
        value = TagText::view(s);
        return nullptr;
    }
    }
    return nullptr;
}

Result<DxfTagList> readBinary(std::string_view bytes)
{
    BinaryCursor in(bytes.substr(kBinarySentinel.size()));
    const bool wideCodes = fileForm(bytes).wideCodes;
    DxfTagList tags;
    const auto damaged = [&](const char* what) {
        return Error{errc::kTypeMismatch,
                     "二进制 DXF 在字节 " + std::to_string(in.offset() + kBinarySentinel.size()) +
                         " 处损坏：" + what,
                     {}};
    };
    while (!in.atEnd()) {
        int code = 0;
        if (const char* problem = readBinaryCode(in, wideCodes, code)) return damaged(problem);
        if (code < kMinCode || code > kMaxCode) return damaged("组码超出范围");
        TagText value;
        if (const char* problem = readBinaryValue(in, code, value)) return damaged(problem);
        tags.push_back(DxfTag{code, std::move(value)});
        if (code == 0 && tags.back().value == "EOF") break;
    }
    return tags;
}

}  // namespace

bool validValue(int code, std::string_view value)
{
    switch (valueKind(code)) {
    case ValueKind::Double: {
        double d = 0;
        return parseDouble(value, d);
    }
    case ValueKind::Int16: {
        std::int16_t v = 0;
        return parseInt(value, v);
    }
    case ValueKind::Int32: {
        std::int32_t v = 0;
        return parseInt(value, v);
    }
    case ValueKind::Int64: {
        std::int64_t v = 0;
        return parseInt(value, v);
    }
    case ValueKind::Bool: {
        // 0 is false, anything else true: some programs write 2.
        std::uint8_t v = 0;
        return parseInt(value, v);
    }
    case ValueKind::Binary: return isHex(trimBlanks(value));
    case ValueKind::String: break;
    }
    // A plain loop: find_first_of looks each byte up in the set of two.
    for (const char c : value)
        if (c == '\r' || c == '\n') return false;
    return true;
}

namespace {

void appendAscii(std::string& out, const DxfTag& tag, const DxfFileForm& form)
{
    char code[16];
    const auto res = std::to_chars(code, code + sizeof code, tag.code);
    const std::size_t width = static_cast<std::size_t>(res.ptr - code);
    if (width < 3) out.append(3 - width, ' ');
    out.append(code, res.ptr);
    const std::string_view lineEnd = form.crlf ? "\r\n" : "\n";
    out += lineEnd;
    out += tag.value;
    out += lineEnd;
}

template <class T>
void appendLittle(std::string& out, T value)
{
    std::uint64_t v = 0;
    if constexpr (std::is_same_v<T, double>) std::memcpy(&v, &value, sizeof value);
    else v = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

template <class Int>
bool appendInteger(std::string& out, std::string_view value)
{
    Int v = 0;
    if (!parseInt(value, v)) return false;
    appendLittle(out, v);
    return true;
}

// The value as the binary reader reads it back.
bool appendBinaryValue(std::string& out, const DxfTag& tag)
{
    switch (valueKind(tag.code)) {
    case ValueKind::Double: {
        double d = 0;
        if (!parseDouble(tag.value, d)) return false;
        appendLittle(out, d);
        return true;
    }
    case ValueKind::Int16: return appendInteger<std::int16_t>(out, tag.value);
    case ValueKind::Int32: return appendInteger<std::int32_t>(out, tag.value);
    case ValueKind::Int64: return appendInteger<std::int64_t>(out, tag.value);
    case ValueKind::Bool: return appendInteger<std::uint8_t>(out, tag.value);
    case ValueKind::Binary: {
        const std::string_view hex = trimBlanks(tag.value);
        if (!isHex(hex) || hex.size() / 2 > 255) return false;
        out += static_cast<char>(hex.size() / 2);
        const auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        for (std::size_t i = 0; i < hex.size(); i += 2)
            out += static_cast<char>(nibble(hex[i]) << 4 | nibble(hex[i + 1]));
        return true;
    }
    case ValueKind::String:
        if (tag.value.find('\0') != std::string::npos) return false;
        out += tag.value;
        out += '\0';
        return true;
    }
    return false;
}

}  // namespace

bool writable(const DxfTag& tag, const DxfFileForm& form)
{
    if (tag.code < kMinCode || tag.code > kMaxCode) return false;
    if (!form.binary) return validValue(tag.code, tag.value);
    std::string scratch;
    return appendBinaryValue(scratch, tag);
}

std::string_view fileStart(const DxfFileForm& form)
{
    if (form.binary) return kBinarySentinel;
    return form.byteOrderMark ? "\xEF\xBB\xBF" : "";
}

bool appendTag(std::string& out, const DxfTag& tag, const DxfFileForm& form)
{
    if (tag.code < kMinCode || tag.code > kMaxCode) return false;
    if (!form.binary) {
        if (tag.value.find_first_of("\r\n") != std::string::npos) return false;
        appendAscii(out, tag, form);
        return true;
    }
    const std::size_t start = out.size();
    if (form.wideCodes) {
        appendLittle(out, static_cast<std::int16_t>(tag.code));
    } else if (tag.code >= 0 && tag.code < 255) {
        out += static_cast<char>(tag.code);
    } else {
        out += static_cast<char>(255);
        appendLittle(out, static_cast<std::int16_t>(tag.code));
    }
    if (appendBinaryValue(out, tag)) return true;
    out.resize(start);
    return false;
}

bool isBinaryDxf(std::string_view bytes) { return bytes.substr(0, kBinarySentinel.size()) == kBinarySentinel; }

DxfFileForm fileForm(std::string_view bytes)
{
    DxfFileForm form;
    if (isBinaryDxf(bytes)) {
        form.binary = true;
        // R12 files have one-byte codes (255 then two bytes for larger ones);
        // R13 and later two-byte codes. The first tag is 0 SECTION either way.
        form.wideCodes = bytes.size() > kBinarySentinel.size() + 1 && bytes[kBinarySentinel.size() + 1] == '\0';
        return form;
    }
    form.byteOrderMark = bytes.substr(0, 3) == "\xEF\xBB\xBF";
    const std::size_t firstEnd = bytes.find('\n');
    form.crlf = firstEnd != std::string_view::npos && firstEnd > 0 && bytes[firstEnd - 1] == '\r';
    return form;
}

Result<DxfTagList> readDxfTags(std::string_view bytes, unsigned parts)
{
    if (isBinaryDxf(bytes)) return readBinary(bytes);
    if (parts == 0) {
        // A part per core for a large file; a thread is not worth starting
        // for less than a few megabytes.
        constexpr std::size_t kPartBytes = 4 << 20;
        const std::size_t cores = std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
        parts = static_cast<unsigned>(std::clamp<std::size_t>(bytes.size() / kPartBytes, 1, cores));
    }
    return readAscii(bytes, std::clamp(parts, 1u, 64u));
}

}  // namespace tessik::dxf
