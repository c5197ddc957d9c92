#pragma once
// Starting another program in this process's place: the same process id,
// standard streams and environment, so whoever started us waits for it.

#include <string>
#include <vector>

namespace pellandor {

// Runs `program` instead of this process, with `name` as its argv[0] and
// `arguments` after it. Returns only when that fails, with the reason.
std::string replaceProcess(const std::string& program, const std::string& name,
                           const std::vector<std::string>& arguments);

}  // namespace pellandor
