#include "TextCodec.h"

namespace tessik::os {

namespace {
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
}  // namespace

std::string decodeCodePageLossy(std::string_view bytes, unsigned codePage)
{
    if (!hasCodePage(codePage)) return std::string(bytes);
    if (auto whole = decodeCodePage(bytes, codePage)) return *whole;
    // One bad byte costs one character: the longest sequence of the code
    // pages is two bytes, or four in GB18030.
    const std::size_t longest = codePage == kCodePageGb18030 ? 4 : 2;
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t used = 0;
        for (std::size_t n = 1; n <= longest && i + n <= bytes.size() && used == 0; ++n) {
            if (auto piece = decodeCodePage(bytes.substr(i, n), codePage)) {
                out += *piece;
                used = n;
            }
        }
        if (used == 0) {
            out += kReplacement;
            used = 1;
        }
        i += used;
    }
    return out;
}

}  // namespace tessik::os
