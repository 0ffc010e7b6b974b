#include "ui/CadHostApp.h"

int main(int argc, char** argv) { return tessik::cadhost::runCadHost(argc, argv); }
