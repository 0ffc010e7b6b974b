#include <iostream>
#include <string>
#include <vector>

#include "ElbowCli.h"
#include "ProgramIo.h"

int main(int argc, char** argv)
{
    // The same bytes on every platform: UTF-8 arguments, untranslated output.
    tessik::os::useBinaryStdio();
    return tessik::runElbowCli(tessik::os::programArguments(argc, argv), std::cout, std::cerr);
}
