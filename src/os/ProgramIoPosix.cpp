#include "ProgramIo.h"

namespace tessik::os {

std::vector<std::string> programArguments(int argc, char** argv)
{
    if (argc < 1) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}

void useBinaryStdio() {}

}  // namespace tessik::os
