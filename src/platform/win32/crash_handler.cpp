#include "platform/crash_handler.h"

namespace pellandor {

// The Windows command line has no crash reporter: the Windows desktop program
// brings its own (a minidump). The request worker still asks for its stack,
// so the shared code links; without a reporter there is nothing to prepare.
bool installCrashStackForThisThread() {
    return false;
}

bool crashOnPurpose(std::string_view) {
    return false;
}

}  // namespace pellandor
