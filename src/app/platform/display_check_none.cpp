#include "app/platform/display_check.h"

namespace pellandor {

void PreferXWayland() {}

bool DisplayAvailable(std::string&) {
    return true;
}

}  // namespace pellandor
