#pragma once
// UTF-8 and UTF-16 for the wide Win32 calls (Windows only).

#include <string>
#include <string_view>

namespace tessik::os {

// Bytes that are not UTF-8 become U+FFFD.
std::wstring widen(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string narrow(std::wstring_view wide);

}  // namespace tessik::os
