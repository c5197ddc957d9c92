#include "config/stored_password.h"

#include "dialing/text_utils.h"
#include "base/credential_cipher.h"

namespace pellandor {

std::string decodeStoredPassword(std::string_view stored) {
    std::string trimmed = trimBlanks(stored);
    if (trimmed.empty()) return trimmed;
    std::string decoded;
    if (CredentialCipher(SettingsKey).decodeCredential(trimmed, decoded, kStoredPasswordCapacity)) {
        return decoded;
    }
    return trimmed;
}

bool encodeStoredPassword(std::string_view password, std::string& stored) {
    if (password.empty()) {
        stored.clear();
        return true;
    }
    return CredentialCipher(SettingsKey).encodeCredential(password, stored, kStoredPasswordCapacity);
}

}  // namespace pellandor
