// The stored password: any stored text decodes without harm, and every
// password that can be stored reads back as it was.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "config/stored_password.h"
#include "base/credential_cipher.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    (void)pellandor::decodeStoredPassword(input);
    const pellandor::CredentialCipher cipher(pellandor::SettingsKey);
    std::string out;
    (void)cipher.decodeCredential(input, out, 200);

    // Stored text ends at its first NUL; blanks around it are trimmed on load.
    std::string password(input.substr(0, input.find('\0')));
    while (!password.empty() && std::string_view(" \t\r\n").find(password.back()) != std::string_view::npos) {
        password.pop_back();
    }
    while (!password.empty() && std::string_view(" \t\r\n").find(password.front()) != std::string_view::npos) {
        password.erase(0, 1);
    }
    std::string stored;
    if (!pellandor::encodeStoredPassword(password, stored)) {
        if (password.size() <= 96) std::abort();
        return 0;
    }
    if (stored.find_first_not_of("0123456789ABCDEF") != std::string::npos) std::abort();
    if (pellandor::decodeStoredPassword(stored) != password) std::abort();
    return 0;
}
