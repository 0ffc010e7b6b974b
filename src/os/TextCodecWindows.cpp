#include "TextCodec.h"

#include <climits>

#include <windows.h>

#include "WideText.h"

namespace tessik::os {

namespace {

std::optional<std::wstring> toWide(std::string_view bytes, unsigned codePage)
{
    if (bytes.empty()) return std::wstring{};
    if (bytes.size() > INT_MAX / 2) return std::nullopt;
    const int size = static_cast<int>(bytes.size());
    const int n = ::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (n <= 0) return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), n) != n)
        return std::nullopt;
    return wide;
}

}  // namespace

bool hasCodePage(unsigned codePage) { return ::IsValidCodePage(codePage) != 0; }

std::optional<std::string> decodeCodePage(std::string_view bytes, unsigned codePage)
{
    if (!hasCodePage(codePage)) return std::nullopt;
    auto wide = toWide(bytes, codePage);
    if (!wide) return std::nullopt;
    return narrow(*wide);
}

std::optional<std::string> encodeCodePage(std::string_view utf8, unsigned codePage)
{
    if (!hasCodePage(codePage)) return std::nullopt;
    auto wide = toWide(utf8, CP_UTF8);
    if (!wide) return std::nullopt;
    if (wide->empty()) return std::string{};
    const int size = static_cast<int>(wide->size());
    // GB18030 holds every character, and Windows refuses the default-character
    // question for it; every other page is asked whether anything was lost.
    const bool complete = codePage == kCodePageGb18030;
    const DWORD flags = complete ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    BOOL* lost = complete ? nullptr : &usedDefault;
    const int n = ::WideCharToMultiByte(codePage, flags, wide->data(), size, nullptr, 0, nullptr, lost);
    if (n <= 0 || usedDefault) return std::nullopt;
    std::string bytes(static_cast<std::size_t>(n), '\0');
    if (::WideCharToMultiByte(codePage, flags, wide->data(), size, bytes.data(), n, nullptr, lost) != n || usedDefault)
        return std::nullopt;
    return bytes;
}

}  // namespace tessik::os
