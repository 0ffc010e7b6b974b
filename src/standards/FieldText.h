#pragma once
// Display text of a data-file field.
//
// The data files may be saved in UTF-8 or in the Chinese system code page
// (GBK / GB18030), as Chinese editors on Windows do. A field that is valid
// UTF-8 is kept as it is; any other field is decoded as GB18030 (a superset
// of GBK); a byte sequence that is neither becomes U+FFFD, so the result is
// always valid UTF-8. Numbers are plain ASCII and come through unchanged.

#include <string>
#include <string_view>

namespace tessik {

bool isValidUtf8(std::string_view bytes);
std::string fieldText(std::string_view bytes);

}  // namespace tessik
