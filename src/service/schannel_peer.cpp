#include "service/schannel_peer.h"

#include <bcrypt.h>
#include <ws2tcpip.h>

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/win32/wide_text.h"

namespace pellandor {

namespace {

constexpr std::string_view kPemBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view kPemEnd = "-----END CERTIFICATE-----";
constexpr DWORD kEncoding = X509_ASN_ENCODING | PKCS_7_ASN_ENCODING;
// A CA file is a few certificates; anything larger is not one.
constexpr LONGLONG kMaxCaFile = 16 * 1024 * 1024;

bool readWholeFile(const std::string& path, std::string& bytes, DWORD& code) {
    const HANDLE file = CreateFileW(win32::widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        code = GetLastError();
        return false;
    }
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) != 0 && size.QuadPart <= kMaxCaFile;
    code = ok ? ERROR_SUCCESS : ERROR_FILE_TOO_LARGE;
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) != 0 &&
                               got == bytes.size());
        if (!ok) code = GetLastError();
    }
    CloseHandle(file);
    return ok;
}

bool addCertificate(HCERTSTORE store, const BYTE* der, DWORD length) {
    return CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der, length, CERT_STORE_ADD_USE_EXISTING,
                                            nullptr) != 0;
}

// Every PEM certificate in `text`, or `text` as one DER certificate when it
// has no PEM block. The number added.
int addCertificates(HCERTSTORE store, const std::string& text) {
    int added = 0;
    std::size_t at = text.find(kPemBegin);
    if (at == std::string::npos) {
        return addCertificate(store, reinterpret_cast<const BYTE*>(text.data()), static_cast<DWORD>(text.size())) ? 1
                                                                                                                  : 0;
    }
    for (; at != std::string::npos; at = text.find(kPemBegin, at)) {
        const std::size_t end = text.find(kPemEnd, at);
        if (end == std::string::npos) break;
        const std::string_view block(text.data() + at, end + kPemEnd.size() - at);
        at = end + kPemEnd.size();
        DWORD length = 0;
        if (!CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, nullptr,
                                  &length, nullptr, nullptr)) {
            continue;
        }
        std::vector<BYTE> der(length);
        if (CryptStringToBinaryA(block.data(), static_cast<DWORD>(block.size()), CRYPT_STRING_BASE64HEADER, der.data(),
                                 &length, nullptr, nullptr) &&
            addCertificate(store, der.data(), length)) {
            ++added;
        }
    }
    return added;
}

// The chain policy's verdict in words, as a person reading the error needs it.
std::string chainProblem(LONG code) {
    switch (static_cast<HRESULT>(code)) {
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_CHAINING:
        case CERT_E_UNTRUSTEDCA:
            return "unable to get local issuer certificate";
        case CERT_E_EXPIRED:
            return "certificate has expired or is not yet valid";
        case CERT_E_WRONG_USAGE:
        case CERT_E_PURPOSE:
            return "certificate not issued for a server";
        case TRUST_E_CERT_SIGNATURE:
            return "certificate signature failure";
        default:
            break;
    }
    char code_text[16];
    std::snprintf(code_text, sizeof code_text, "0x%08lx", static_cast<unsigned long>(code));
    return win32::errorText(static_cast<DWORD>(code)) + " (" + code_text + ")";
}

// Whether the certificate's subjectAltName lists the address `host`; false
// when `host` is no address. Names are left to the chain policy.
bool namesAddress(const CERT_CONTEXT& cert, const std::string& host, bool& isAddress) {
    unsigned char address[16];
    std::size_t length = 0;
    if (inet_pton(AF_INET, host.c_str(), address) == 1) {
        length = 4;
    } else if (inet_pton(AF_INET6, host.c_str(), address) == 1) {
        length = 16;
    }
    isAddress = length != 0;
    if (!isAddress) return false;
    const CERT_INFO& info = *cert.pCertInfo;
    const CERT_EXTENSION* extension = CertFindExtension(szOID_SUBJECT_ALT_NAME2, info.cExtension, info.rgExtension);
    if (extension == nullptr) return false;
    CERT_ALT_NAME_INFO* names = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(kEncoding, X509_ALTERNATE_NAME, extension->Value.pbData, extension->Value.cbData,
                             CRYPT_DECODE_ALLOC_FLAG, nullptr, &names, &size)) {
        return false;
    }
    bool found = false;
    for (DWORD i = 0; i < names->cAltEntry && !found; ++i) {
        const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
        found = entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS && entry.IPAddress.cbData == length &&
                std::memcmp(entry.IPAddress.pbData, address, length) == 0;
    }
    LocalFree(names);
    return found;
}

// The chain's own verdict in the same words. Wine's SSL policy passes a
// partial chain, so the chain is judged before the policy is asked.
std::string trustProblem(DWORD status) {
    if (status & (CERT_TRUST_IS_PARTIAL_CHAIN | CERT_TRUST_IS_UNTRUSTED_ROOT)) {
        return "unable to get local issuer certificate";
    }
    if (status & CERT_TRUST_IS_NOT_TIME_VALID) return "certificate has expired or is not yet valid";
    if (status & CERT_TRUST_IS_NOT_SIGNATURE_VALID) return "certificate signature failure";
    if (status & CERT_TRUST_IS_NOT_VALID_FOR_USAGE) return "certificate not issued for a server";
    char text[48];
    std::snprintf(text, sizeof text, "chain status 0x%08lx", static_cast<unsigned long>(status));
    return text;
}

struct ChainFree {
    void operator()(const CERT_CHAIN_CONTEXT* chain) const { CertFreeCertificateChain(chain); }
};

}  // namespace

CertificateAuthorities::CertificateAuthorities() = default;

CertificateAuthorities::~CertificateAuthorities() {
    clear();
}

void CertificateAuthorities::clear() {
    if (engine_ != nullptr) CertFreeCertificateChainEngine(engine_);
    if (store_ != nullptr) CertCloseStore(store_, 0);
    engine_ = nullptr;
    store_ = nullptr;
    path_.clear();
}

Status CertificateAuthorities::load(const std::string& path) {
    clear();
    std::string text;
    DWORD code = ERROR_SUCCESS;
    if (!readWholeFile(path, text, code)) {
        return failure("cannot read the certificate authorities in " + path + ": " + win32::errorText(code));
    }
    store_ = CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, CERT_STORE_CREATE_NEW_FLAG, nullptr);
    if (store_ == nullptr || addCertificates(store_, text) == 0) {
        clear();
        return failure("cannot read the certificate authorities in " + path);
    }
    // An engine of its own: only these certificates are roots, none of the system's.
    CERT_CHAIN_ENGINE_CONFIG config{};
    config.cbSize = sizeof config;
    config.hExclusiveRoot = store_;
    if (!CertCreateCertificateChainEngine(&config, &engine_)) {
        code = GetLastError();
        engine_ = nullptr;
        clear();
        return failure("cannot use the certificate authorities in " + path + ": " + win32::errorText(code));
    }
    path_ = path;
    return {};
}

bool CertificateAuthorities::isAuthority(const CERT_CONTEXT& cert) const {
    const CERT_CONTEXT* known = nullptr;
    while ((known = CertEnumCertificatesInStore(store_, known)) != nullptr) {
        if (known->cbCertEncoded == cert.cbCertEncoded &&
            std::memcmp(known->pbCertEncoded, cert.pbCertEncoded, cert.cbCertEncoded) == 0) {
            CertFreeCertificateContext(known);
            return true;
        }
    }
    return false;
}

Status CertificateAuthorities::verify(const CERT_CONTEXT& cert, const std::string& host) const {
    if (engine_ == nullptr) {
        return failure("no certificate authorities loaded");
    }
    static char serverAuth[] = szOID_PKIX_KP_SERVER_AUTH;
    char* usages[] = {serverAuth};
    CERT_CHAIN_PARA para{};
    para.cbSize = sizeof para;
    para.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
    para.RequestedUsage.Usage.cUsageIdentifier = 1;
    para.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
    const CERT_CHAIN_CONTEXT* built = nullptr;
    // The intermediates the exchange sent come with its certificate's store.
    if (!CertGetCertificateChain(engine_, &cert, nullptr, cert.hCertStore, &para, 0, nullptr, &built)) {
        return failure("certificate not issued by the configured authority: " + win32::errorText(GetLastError()));
    }
    const std::unique_ptr<const CERT_CHAIN_CONTEXT, ChainFree> chain(built);
    if (chain->TrustStatus.dwErrorStatus != CERT_TRUST_NO_ERROR) {
        return failure("certificate not issued by the configured authority: " +
                       trustProblem(chain->TrustStatus.dwErrorStatus));
    }

    bool isAddress = false;
    const bool addressNamed = namesAddress(cert, host, isAddress);
    const std::wstring name = isAddress ? std::wstring() : win32::widen(host);
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    // The policy matches names only; an address is matched above.
    ssl.pwszServerName = name.empty() ? nullptr : const_cast<wchar_t*>(name.c_str());
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain.get(), &policy, &status)) {
        return failure("certificate not issued by the configured authority: " + win32::errorText(GetLastError()));
    }
    const bool nameMismatch = status.dwError == static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    if (status.dwError != 0 && !nameMismatch) {
        return failure("certificate not issued by the configured authority: " + chainProblem(status.dwError));
    }
    // Whatever the engine made of its roots, the chain must end at one of ours.
    const CERT_SIMPLE_CHAIN* simple = chain->cChain > 0 ? chain->rgpChain[0] : nullptr;
    if (simple == nullptr || simple->cElement == 0 ||
        !isAuthority(*simple->rgpElement[simple->cElement - 1]->pCertContext)) {
        return failure("certificate not issued by the configured authority: unable to get local issuer certificate");
    }
    if (nameMismatch || (isAddress && !addressNamed)) {
        return failure("certificate issued for another name than " + host);
    }
    return {};
}

Result<std::vector<unsigned char>> publicKeyDigest(const CERT_CONTEXT& cert) {
    const CERT_PUBLIC_KEY_INFO* key = &cert.pCertInfo->SubjectPublicKeyInfo;
    DWORD length = 0;
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr, nullptr, &length) ||
        length == 0) {
        return failure("the certificate's public key cannot be read");
    }
    std::vector<BYTE> der(length);
    if (!CryptEncodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, key, 0, nullptr, der.data(), &length)) {
        return failure("the certificate's public key cannot be read");
    }
    der.resize(length);

    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::vector<unsigned char> digest(32, 0);
    bool ok = BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)) &&
              BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0)) &&
              BCRYPT_SUCCESS(BCryptHashData(hash, der.data(), static_cast<ULONG>(der.size()), 0)) &&
              BCRYPT_SUCCESS(BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!ok) return failure("cannot hash the certificate's public key");
    return digest;
}

}  // namespace pellandor
