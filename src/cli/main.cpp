#include "cli/cli.h"
#include "platform/console.h"

#include <iostream>

int main(int argc, char** argv) {
    pellandor::prepareConsoleOutput();
    return pellandor::runCli(pellandor::commandLineArguments(argc, argv), std::cout, std::cerr);
}
