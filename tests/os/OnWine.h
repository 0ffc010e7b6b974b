#pragma once
// Whether a Windows test program runs under wine, which lacks a few things
// Windows has (code page 54936, GB18030, among them). Tests skip exactly
// those cases there, and say why.

#ifdef _WIN32
#include <windows.h>
#endif

namespace tessik::test {

inline bool runningOnWine()
{
#ifdef _WIN32
    const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
    return false;
#endif
}

}  // namespace tessik::test
