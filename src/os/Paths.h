#pragma once
// File names as UTF-8. std::filesystem::path built from a narrow string on
// Windows reads it in the ANSI code page, which cannot hold most Chinese
// names; these two go through UTF-16 there. On Linux a name is bytes and
// passes unchanged both ways.

#include <filesystem>
#include <string>
#include <string_view>

namespace tessik::os {

std::filesystem::path pathFromUtf8(std::string_view utf8);
std::string utf8FromPath(const std::filesystem::path& path);

}  // namespace tessik::os
