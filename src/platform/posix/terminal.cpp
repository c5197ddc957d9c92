#include "platform/terminal.h"

#include <cerrno>
#include <termios.h>
#include <unistd.h>

namespace pellandor {

bool readValueFromStdin(std::string& value, std::ostream& prompt) {
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    termios saved{};
    const bool quiet = terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        silent.c_lflag |= ECHONL;
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
        prompt << "Value: " << std::flush;
    }
    value.clear();
    bool ended = false;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0 || c == '\n') {
            ended = n > 0 || !value.empty();
            break;
        }
        if (value.size() == kMaxStdinValue) {
            value.clear();
            break;
        }
        value += c;
    }
    if (quiet) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    if (!value.empty() && value.back() == '\r') value.pop_back();
    return ended;
}

}  // namespace pellandor
