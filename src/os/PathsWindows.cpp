#include "Paths.h"

#include "WideText.h"

namespace tessik::os {

std::filesystem::path pathFromUtf8(std::string_view utf8) { return std::filesystem::path(widen(utf8)); }

std::string utf8FromPath(const std::filesystem::path& path) { return narrow(path.native()); }

}  // namespace tessik::os
