#include "TextCodec.h"

#include <iconv.h>

#include <map>

namespace tessik::os {

namespace {

std::string iconvName(unsigned codePage)
{
    switch (codePage) {
    case kCodePageGbk: return "GBK";
    case kCodePageGb18030: return "GB18030";
    case 950: return "BIG5";
    default: return "CP" + std::to_string(codePage);
    }
}

// One converter per direction and code page and thread, opened on first use:
// lossy decoding converts byte by byte.
class Converters {
public:
    ~Converters()
    {
        for (auto& [key, cd] : open_)
            if (cd != invalid()) ::iconv_close(cd);
    }
    iconv_t get(unsigned codePage, bool toUtf8)
    {
        const auto key = std::make_pair(codePage, toUtf8);
        auto it = open_.find(key);
        if (it == open_.end()) {
            const std::string page = iconvName(codePage);
            it = open_.emplace(key, toUtf8 ? ::iconv_open("UTF-8", page.c_str()) : ::iconv_open(page.c_str(), "UTF-8"))
                     .first;
        }
        return it->second;
    }
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }

private:
    std::map<std::pair<unsigned, bool>, iconv_t> open_;
};

thread_local Converters converters;

std::optional<std::string> convert(std::string_view in, unsigned codePage, bool toUtf8)
{
    const iconv_t cd = converters.get(codePage, toUtf8);
    if (cd == Converters::invalid()) return std::nullopt;
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    std::size_t left = in.size();
    std::string buffer(in.size() * 4 + 16, '\0');
    char* dst = buffer.data();
    std::size_t room = buffer.size();
    const std::size_t r = ::iconv(cd, &src, &left, &dst, &room);
    if (r == static_cast<std::size_t>(-1) || left != 0) return std::nullopt;
    // A converter that kept bytes back for a sequence still open has not
    // finished the text: a truncated sequence is not valid.
    char* flushDst = dst;
    std::size_t flushRoom = room;
    if (::iconv(cd, nullptr, nullptr, &flushDst, &flushRoom) == static_cast<std::size_t>(-1)) return std::nullopt;
    buffer.resize(buffer.size() - flushRoom);
    return buffer;
}

}  // namespace

bool hasCodePage(unsigned codePage) { return converters.get(codePage, true) != Converters::invalid(); }

std::optional<std::string> decodeCodePage(std::string_view bytes, unsigned codePage)
{
    return convert(bytes, codePage, true);
}

std::optional<std::string> encodeCodePage(std::string_view utf8, unsigned codePage)
{
    return convert(utf8, codePage, false);
}

}  // namespace tessik::os
