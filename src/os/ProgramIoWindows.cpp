#include "ProgramIo.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>

#include "WideText.h"

namespace tessik::os {

std::vector<std::string> programArguments(int, char**)
{
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (wide == nullptr) return {};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

void useBinaryStdio()
{
    std::fflush(stdout);
    std::fflush(stderr);
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

}  // namespace tessik::os
