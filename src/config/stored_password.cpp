#include "config/stored_password.h"

#include "dialing/text_utils.h"
#include "service/credential_cipher.h"

namespace pellandor {

std::string DecodeStoredPassword(std::string_view stored) {
    std::string trimmed = TrimBlanks(stored);
    if (trimmed.empty()) return trimmed;
    std::string decoded;
    if (CredentialCipher(SettingsKey).DecodeCredential(trimmed, decoded, kStoredPasswordCapacity)) {
        return decoded;
    }
    return trimmed;
}

bool EncodeStoredPassword(std::string_view password, std::string& stored) {
    if (password.empty()) {
        stored.clear();
        return true;
    }
    return CredentialCipher(SettingsKey).EncodeCredential(password, stored, kStoredPasswordCapacity);
}

}  // namespace pellandor
