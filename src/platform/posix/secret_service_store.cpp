// The desktop keyring through the Secret Service (GNOME Keyring, KWallet,
// KeePassXC), by libsecret. The library is opened on first use, not linked:
// the tray program should not carry GLib's D-Bus stack while it waits, and a
// desktop without libsecret simply has no keyring.

#include "platform/credential_store.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdlib>

#include <libsecret/secret.h>

namespace pellandor {

namespace {

#define PELLANDOR_SECRET_FUNCTIONS(X) \
    X(secret_password_store_sync)     \
    X(secret_password_lookup_sync)    \
    X(secret_password_clear_sync)     \
    X(secret_password_free)           \
    X(g_error_free)                   \
    X(g_dbus_error_quark)             \
    X(g_io_error_quark)

constexpr const char* kSecretLibrary = "libsecret-1.so.0";
constexpr const char* kApplication = "pellandor";

struct SecretApi {
#define PELLANDOR_SECRET_POINTER(name) decltype(&::name) name = nullptr;
    PELLANDOR_SECRET_FUNCTIONS(PELLANDOR_SECRET_POINTER)
#undef PELLANDOR_SECRET_POINTER
    std::string error;  // why it could not be loaded; empty once it is
};

// Loaded once per process and never unloaded (GLib cannot be unloaded).
const SecretApi& secretApi() {
    static const SecretApi api = [] {
        SecretApi loaded;
        void* library = ::dlopen(kSecretLibrary, RTLD_NOW | RTLD_LOCAL);
        if (library == nullptr) {
            const char* why = ::dlerror();
            loaded.error = std::string("cannot load ") + kSecretLibrary + ": " + (why != nullptr ? why : "unknown");
            return loaded;
        }
#define PELLANDOR_SECRET_LOAD(name)                                                 \
    loaded.name = reinterpret_cast<decltype(loaded.name)>(::dlsym(library, #name)); \
    if (loaded.name == nullptr) {                                                   \
        loaded.error = std::string(kSecretLibrary) + " lacks " #name;               \
        return loaded;                                                              \
    }
        PELLANDOR_SECRET_FUNCTIONS(PELLANDOR_SECRET_LOAD)
#undef PELLANDOR_SECRET_LOAD
        return loaded;
    }();
    return api;
}

const SecretSchema kSchema = {
    "org.pellandor.ExchangePassword",
    SECRET_SCHEMA_NONE,
    {
        {"application", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"exchange", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
    },
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// Without a session bus address GLib would start a bus of its own
// (dbus-launch) under an X display; a desktop without one has no keyring.
bool sessionBusKnown() {
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address != nullptr && *address != '\0') return true;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr || *runtime == '\0') return false;
    struct stat info {};
    return ::stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

class SecretServiceStore final : public CredentialStore {
public:
    std::string describe() const override { return "the desktop keyring (Secret Service)"; }

    Status store(const CredentialKey& key, std::string_view secret) override {
        if (const Status usable = ready(); !usable) return usable;
        const SecretApi& api = secretApi();
        const std::string label = "Pellandor: password of " + key.userId + " on the exchange " + key.exchangeAddress;
        const std::string text(secret);
        GError* failure = nullptr;
        const gboolean ok = api.secret_password_store_sync(
            &kSchema, SECRET_COLLECTION_DEFAULT, label.c_str(), text.c_str(), nullptr, &failure, "application",
            kApplication, "exchange", key.exchangeAddress.c_str(), "user", key.userId.c_str(), nullptr);
        wipe(text);
        if (ok) return {};
        return classify(failure);
    }

    Result<std::string> lookup(const CredentialKey& key) override {
        if (const Status usable = ready(); !usable) return pellandor::failure(usable.error(), usable.code());
        const SecretApi& api = secretApi();
        GError* failure = nullptr;
        gchar* found =
            api.secret_password_lookup_sync(&kSchema, nullptr, &failure, "application", kApplication, "exchange",
                                            key.exchangeAddress.c_str(), "user", key.userId.c_str(), nullptr);
        if (failure != nullptr) return classify(failure);
        if (found == nullptr) return pellandor::failure("no such entry in the keyring", ErrorCode::NotFound);
        std::string secret = found;
        api.secret_password_free(found);  // wipes it before freeing
        return secret;
    }

    Status remove(const CredentialKey& key) override {
        if (const Status usable = ready(); !usable) return usable;
        const SecretApi& api = secretApi();
        GError* failure = nullptr;
        const gboolean removed =
            api.secret_password_clear_sync(&kSchema, nullptr, &failure, "application", kApplication, "exchange",
                                           key.exchangeAddress.c_str(), "user", key.userId.c_str(), nullptr);
        if (failure != nullptr) return classify(failure);
        if (!removed) return pellandor::failure("no such entry in the keyring", ErrorCode::NotFound);
        return {};
    }

private:
    static void wipe(const std::string& text) {
        volatile char* bytes = const_cast<char*>(text.data());
        for (std::size_t i = 0; i < text.size(); ++i) bytes[i] = 0;
    }

    // Asked again at every use: a keyring started after the program (a
    // password manager opened later) is found without a restart.
    static Status ready() {
        if (!sessionBusKnown()) return pellandor::failure("no session bus, so no keyring", ErrorCode::NoStore);
        if (!secretApi().error.empty()) return pellandor::failure(secretApi().error, ErrorCode::NoStore);
        return {};
    }

    // No bus, or nobody owns the Secret Service name on it: no store. Anything
    // else (a locked keyring whose prompt was dismissed) is a real failure.
    static Failure classify(GError* failure) {
        const SecretApi& api = secretApi();
        std::string error =
            failure != nullptr && failure->message != nullptr ? failure->message : "unknown keyring error";
        const bool unreachable =
            failure != nullptr &&
            ((failure->domain == api.g_dbus_error_quark() && failure->code != G_DBUS_ERROR_ACCESS_DENIED) ||
             (failure->domain == api.g_io_error_quark() && failure->code != G_IO_ERROR_CANCELLED));
        if (failure != nullptr) api.g_error_free(failure);
        return pellandor::failure(std::move(error), unreachable ? ErrorCode::NoStore : ErrorCode::Failed);
    }
};
}  // namespace

std::unique_ptr<CredentialStore> openCredentialStore() {
    return std::make_unique<SecretServiceStore>();
}

}  // namespace pellandor
