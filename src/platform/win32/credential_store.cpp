// The password in Windows' Credential Manager: one generic credential per
// exchange and user ID, kept on this machine for this user, in UTF-16 as
// Windows' own credential dialogs keep passwords.

#include "platform/credential_store.h"

// wincred.h needs windows.h before it.
#include <windows.h>

#include <wincred.h>

#include <climits>

#include "platform/win32/wide_text.h"

namespace pellandor {

namespace {

// "%" and "/" are escaped, so no two keys share a target name.
std::string escapePart(const std::string& part) {
    std::string out;
    for (char c : part) {
        if (c == '%') {
            out += "%25";
        } else if (c == '/') {
            out += "%2F";
        } else {
            out += c;
        }
    }
    return out;
}

std::wstring targetName(const CredentialKey& key) {
    return win32::widen("pellandor/" + escapePart(key.exchangeAddress) + "/" + escapePart(key.userId));
}

void wipe(void* bytes, std::size_t length) {
    if (bytes != nullptr && length > 0) SecureZeroMemory(bytes, length);
}

class WindowsCredentialStore final : public CredentialStore {
public:
    std::string describe() const override { return "the Windows Credential Manager"; }

    Status store(const CredentialKey& key, std::string_view secret) override {
        if (secret.size() > INT_MAX) {
            return failure("the password is too long");
        }
        // Straight into a buffer of our own, so no copy is left unwiped.
        const int length = secret.empty() ? 0
                                          : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, secret.data(),
                                                                static_cast<int>(secret.size()), nullptr, 0);
        if (!secret.empty() && length <= 0) {
            return failure("the password is not valid UTF-8");
        }
        std::wstring wide(static_cast<std::size_t>(length), L'\0');
        if (length > 0) {
            MultiByteToWideChar(CP_UTF8, 0, secret.data(), static_cast<int>(secret.size()), wide.data(), length);
        }
        const std::size_t bytes = wide.size() * sizeof(wchar_t);
        if (bytes > CRED_MAX_CREDENTIAL_BLOB_SIZE) {
            wipe(wide.data(), bytes);
            return failure("the password is longer than the Credential Manager keeps (" +
                           std::to_string(CRED_MAX_CREDENTIAL_BLOB_SIZE / sizeof(wchar_t)) + " characters)");
        }
        std::wstring target = targetName(key);
        std::wstring user = win32::widen(key.userId);
        std::wstring comment =
            win32::widen("Pellandor: password of " + key.userId + " on the exchange " + key.exchangeAddress);
        CREDENTIALW credential{};
        credential.Type = CRED_TYPE_GENERIC;
        credential.TargetName = target.data();
        credential.Comment = comment.data();
        credential.UserName = user.data();
        credential.CredentialBlobSize = static_cast<DWORD>(bytes);
        credential.CredentialBlob = reinterpret_cast<BYTE*>(wide.data());
        credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
        const bool ok = CredWriteW(&credential, 0) != 0;
        const DWORD code = ok ? ERROR_SUCCESS : GetLastError();
        wipe(wide.data(), bytes);
        if (ok) return {};
        return classify(code);
    }

    Result<std::string> lookup(const CredentialKey& key) override {
        CREDENTIALW* credential = nullptr;
        if (!CredReadW(targetName(key).c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
            return classify(GetLastError());
        }
        const auto* wide = reinterpret_cast<const wchar_t*>(credential->CredentialBlob);
        const int units = static_cast<int>(credential->CredentialBlobSize / sizeof(wchar_t));
        const int length = units > 0 ? WideCharToMultiByte(CP_UTF8, 0, wide, units, nullptr, 0, nullptr, nullptr) : 0;
        std::string secret(static_cast<std::size_t>(length > 0 ? length : 0), '\0');
        if (length > 0) WideCharToMultiByte(CP_UTF8, 0, wide, units, secret.data(), length, nullptr, nullptr);
        wipe(credential->CredentialBlob, credential->CredentialBlobSize);
        CredFree(credential);
        return secret;
    }

    Status remove(const CredentialKey& key) override {
        if (CredDeleteW(targetName(key).c_str(), CRED_TYPE_GENERIC, 0)) return {};
        return classify(GetLastError());
    }

private:
    // No entry is NotFound; a logon session without a credential store (a
    // service account, for one) has no store at all.
    static Failure classify(DWORD code) {
        switch (code) {
            case ERROR_NOT_FOUND:
                return failure(win32::errorText(code), ErrorCode::NotFound);
            case ERROR_NO_SUCH_LOGON_SESSION:
                return failure(win32::errorText(code), ErrorCode::NoStore);
            default:
                return failure(win32::errorText(code));
        }
    }
};

}  // namespace

std::unique_ptr<CredentialStore> openCredentialStore() {
    return std::make_unique<WindowsCredentialStore>();
}

}  // namespace pellandor
