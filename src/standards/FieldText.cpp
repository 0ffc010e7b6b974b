#include "FieldText.h"

#include "TextCodec.h"

namespace tessik {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Length of the valid UTF-8 sequence starting at `i`, 0 when there is none.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i)
{
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    if (c < 0x80) return 1;
    std::size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c == 0xE0) { len = 3; lo = 0xA0; }
    else if (c >= 0xE1 && c <= 0xEC) len = 3;
    else if (c == 0xED) { len = 3; hi = 0x9F; }  // no surrogates
    else if (c >= 0xEE && c <= 0xEF) len = 3;
    else if (c == 0xF0) { len = 4; lo = 0x90; }
    else if (c >= 0xF1 && c <= 0xF3) len = 4;
    else if (c == 0xF4) { len = 4; hi = 0x8F; }
    else return 0;
    if (i + len > s.size()) return 0;
    if (b(i + 1) < lo || b(i + 1) > hi) return 0;
    for (std::size_t k = 2; k < len; ++k)
        if (b(i + k) < 0x80 || b(i + k) > 0xBF) return 0;
    return len;
}

std::string replaceInvalidUtf8(std::string_view in)
{
    std::string out;
    for (std::size_t i = 0; i < in.size();) {
        const std::size_t len = utf8SequenceLength(in, i);
        if (len == 0) {
            out += kReplacement;
            ++i;
        } else {
            out.append(in, i, len);
            i += len;
        }
    }
    return out;
}

}  // namespace

bool isValidUtf8(std::string_view bytes)
{
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = utf8SequenceLength(bytes, i);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::string fieldText(std::string_view bytes)
{
    if (isValidUtf8(bytes)) return std::string(bytes);
    // GB18030 where the system has it; GBK, the two-byte part of it, where it
    // does not (wine has no code page 54936).
    const unsigned page = os::hasCodePage(os::kCodePageGb18030) ? os::kCodePageGb18030 : os::kCodePageGbk;
    if (!os::hasCodePage(page)) return replaceInvalidUtf8(bytes);
    // The converter's output is UTF-8, but be certain of it whatever the system does.
    return replaceInvalidUtf8(os::decodeCodePageLossy(bytes, page));
}

}  // namespace tessik
