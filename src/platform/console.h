#pragma once
// The command line's arguments and its output as UTF-8 text, whatever the
// system's console and code page.

#include <string>
#include <vector>

namespace pellandor {

// The arguments after the program's name, in UTF-8.
std::vector<std::string> commandLineArguments(int argc, char** argv);

// From here on std::cout and std::cerr take UTF-8 and show it correctly on a
// console; redirected, they write the UTF-8 bytes as they are.
void prepareConsoleOutput();

}  // namespace pellandor
