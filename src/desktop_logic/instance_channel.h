#pragma once
// Where the running program listens for a second start, and the second
// start's side of the conversation. No Qt: a second start needs no display.

#include "base/result.h"

#include <sys/un.h>

#include <cstddef>
#include <optional>
#include <string>

namespace pellandor {

// $XDG_RUNTIME_DIR when it is an absolute folder we own; else a folder of
// our own under /tmp (refused when someone else owns it or others may write
// to it). Nothing is created: a second start only looks there. Fails when
// neither works.
Result<std::string> instanceRuntimeDir();

// Creates that folder (mode 0700) when it is missing, for the program that
// listens there; fails when it cannot be made or is not ours.
Status makeInstanceRuntimeDir(const std::string& dir);

// Per-user names inside that folder.
std::string instanceLockPath(const std::string& dir);
std::string instanceSocketPath(const std::string& dir);

// The socket address of `socketPath`; none when the path is too long for one.
std::optional<sockaddr_un> instanceSocketAddress(const std::string& socketPath);

// Lines longer than this are refused by the listener.
inline constexpr std::size_t kMaxInstanceLine = 4096;

enum class InstanceSend {
    Delivered,   // the running program took the line
    NoListener,  // nobody listens at the socket
    NoAnswer,    // connected, but no acknowledgement in time
};

// Whether a live program accepts connections at `socketPath` (a socket file
// left by one that died refuses them). Never waits.
bool isInstanceListening(const std::string& socketPath);

// Sends `line` (no line break in it) and waits up to `timeoutMs` for "ok".
InstanceSend sendToRunningInstance(const std::string& socketPath, const std::string& line, int timeoutMs);

}  // namespace pellandor
