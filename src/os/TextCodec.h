#pragma once
// Text between UTF-8 and the code pages a Windows program meets in files:
// 936 (GBK), 54936 (GB18030), 950 (Big5), 932, 949, 874, 1250-1258, 437,
// 850, 866. Windows converts with its own tables, Linux with iconv.

#include <optional>
#include <string>
#include <string_view>

namespace tessik::os {

inline constexpr unsigned kCodePageGbk = 936;
inline constexpr unsigned kCodePageGb18030 = 54936;

// Whether this system converts the code page at all.
bool hasCodePage(unsigned codePage);

// The bytes, written in the code page, as UTF-8; nullopt when any byte
// sequence is not valid there (unmapped, or cut short) or the page is unknown.
std::optional<std::string> decodeCodePage(std::string_view bytes, unsigned codePage);

// The bytes decoded as far as they go: each byte that starts no valid
// sequence becomes U+FFFD and decoding resumes after it. Always valid UTF-8
// when the code page is known; the bytes unchanged when it is not.
std::string decodeCodePageLossy(std::string_view bytes, unsigned codePage);

// UTF-8 text written in the code page; nullopt when the text is not valid
// UTF-8 or a character has no exact place in the code page (no best fit).
std::optional<std::string> encodeCodePage(std::string_view utf8, unsigned codePage);

}  // namespace tessik::os
