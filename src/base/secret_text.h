#pragma once
// Clearing a password from memory once it has been used: an ordinary
// assignment or memset to a buffer that is about to go away may be dropped
// by the optimiser.

#include <cstddef>
#include <string>

namespace pellandor {

inline void wipeBytes(void* data, std::size_t size) {
    volatile unsigned char* bytes = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = 0;
}

// Overwrites the text (and any spare capacity behind it), then empties it.
inline void wipeString(std::string& text) {
    text.resize(text.capacity());
    wipeBytes(text.data(), text.size());
    text.clear();
}

}  // namespace pellandor
