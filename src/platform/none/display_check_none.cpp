#include "platform/display_check.h"

namespace pellandor {

void preferXWayland() {
}

Status displayAvailable() {
    return {};
}

}  // namespace pellandor
