#include "FieldText.h"

#include <iconv.h>

#include <cerrno>

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

class Gb18030Decoder {
public:
    Gb18030Decoder() : cd_(iconv_open("UTF-8", "GB18030")) {}
    ~Gb18030Decoder()
    {
        if (ok()) iconv_close(cd_);
    }
    Gb18030Decoder(const Gb18030Decoder&) = delete;
    Gb18030Decoder& operator=(const Gb18030Decoder&) = delete;

    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Decodes what it can; an undecodable byte becomes U+FFFD and decoding
    // resumes after it.
    std::string decode(std::string_view in)
    {
        std::string out;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(in.data());
        std::size_t srcLeft = in.size();
        char chunk[256];
        while (srcLeft > 0) {
            char* dst = chunk;
            std::size_t dstLeft = sizeof chunk;
            const std::size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
            out.append(chunk, static_cast<std::size_t>(dst - chunk));
            if (r != static_cast<std::size_t>(-1)) continue;
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated sequence at the end): skip one byte.
            out += kReplacement;
            ++src;
            --srcLeft;
            iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        }
        return out;
    }

private:
    iconv_t cd_;
};

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
    Gb18030Decoder decoder;
    if (!decoder.ok()) return replaceInvalidUtf8(bytes);
    // iconv's output is UTF-8, but be certain of it whatever the library does.
    return replaceInvalidUtf8(decoder.decode(bytes));
}

}  // namespace tessik
