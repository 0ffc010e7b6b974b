#pragma once
// A console program's arguments and output, the same bytes on every platform.

#include <string>
#include <vector>

namespace tessik::os {

// The arguments after the program's name, in UTF-8. Windows hands main() the
// command line in the ANSI code page; the wide command line is read instead.
std::vector<std::string> programArguments(int argc, char** argv);

// Standard output and error pass their bytes unchanged (Windows would turn
// "\n" into "\r\n" in text mode). Call before anything is written.
void useBinaryStdio();

}  // namespace tessik::os
