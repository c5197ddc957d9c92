#include "platform/console.h"

namespace pellandor {

// Arguments and terminals are UTF-8 already.
std::vector<std::string> commandLineArguments(int argc, char** argv) {
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void prepareConsoleOutput() {
}

}  // namespace pellandor
