#pragma once
// pellandor --demo: the desktop program on a bundled exchange simulator,
// with a throw-away settings file, so it can be tried without an exchange.

namespace pellandor {

int runDemo(int argc, char** argv);

}  // namespace pellandor
