#include "platform/replace_process.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace pellandor {

std::string replaceProcess(const std::string& program, const std::string& name,
                           const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    return std::strerror(errno);
}

}  // namespace pellandor
