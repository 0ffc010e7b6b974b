#include <iostream>
#include <string>
#include <vector>

#include "ElbowCli.h"

int main(int argc, char** argv)
{
    return tessik::runElbowCli(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
