#pragma once
// The password as it is kept in the settings file: enciphered hex text.

#include <cstddef>
#include <string>
#include <string_view>

namespace pellandor {

// Bytes the stored form (hex digits plus terminator) may take.
inline constexpr std::size_t kStoredPasswordCapacity = 200;

// Stored value -> password: blanks trimmed, then deciphered. A value that does
// not decipher is the password itself, so one typed into the file by hand works.
std::string decodeStoredPassword(std::string_view stored);

// Password (already trimmed) -> value to store; empty stays empty. False when
// the enciphered form would not fit, `stored` then untouched.
bool encodeStoredPassword(std::string_view password, std::string& stored);

}  // namespace pellandor
