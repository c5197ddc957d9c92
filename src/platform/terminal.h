#pragma once
// Reading a value from standard input, with the echo off on a terminal so a
// password is not shown.

#include <cstddef>
#include <ostream>
#include <string>

namespace pellandor {

// Longer lines on standard input are no value anyone types.
inline constexpr std::size_t kMaxStdinValue = 4096;

// One line from standard input, without its line end. On a terminal the
// prompt "Value: " goes to `prompt` and the echo is off while it is read.
// False at the end of input with nothing read; an over-long line comes back
// empty.
bool readValueFromStdin(std::string& value, std::ostream& prompt);

}  // namespace pellandor
