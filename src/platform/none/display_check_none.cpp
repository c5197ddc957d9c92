#include "platform/display_check.h"

namespace pellandor {

void preferXWayland() {
}

bool displayAvailable(std::string&) {
    return true;
}

}  // namespace pellandor
