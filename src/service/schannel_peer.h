#pragma once
// The exchange's certificate as SChannel received it, read with CryptoAPI:
// the fingerprint of its key, and its chain against the certificate
// authorities of a CA file. Windows only.

#include <windows.h>
#include <wincrypt.h>

#include <memory>
#include <string>
#include <vector>

#include "base/result.h"
#include "service/tls_connection.h"

namespace pellandor {

struct CertificateFree {
    void operator()(const CERT_CONTEXT* cert) const { CertFreeCertificateContext(cert); }
};
using CertificatePtr = std::unique_ptr<const CERT_CONTEXT, CertificateFree>;

// The certificates of a CA file (PEM, one or more, or a single DER one),
// trusted instead of the system's roots, never beside them.
class CertificateAuthorities {
public:
    CertificateAuthorities();
    ~CertificateAuthorities();
    CertificateAuthorities(const CertificateAuthorities&) = delete;
    CertificateAuthorities& operator=(const CertificateAuthorities&) = delete;

    // Replaces what was loaded; on failure nothing stays loaded.
    Status load(const std::string& path);
    void clear();
    // The file loaded; empty: none.
    const std::string& path() const { return path_; }

    // Whether `cert` chains to one of these authorities and is issued for
    // `host` (an address or a name), or why not.
    Status verify(const CERT_CONTEXT& cert, const std::string& host) const;

private:
    bool isAuthority(const CERT_CONTEXT& cert) const;

    HCERTSTORE store_ = nullptr;
    HCERTCHAINENGINE engine_ = nullptr;
    std::string path_;
};

// SHA-256 of the certificate's SubjectPublicKeyInfo in DER, as the OpenSSL
// backend computes it.
Result<std::vector<unsigned char>> publicKeyDigest(const CERT_CONTEXT& cert);

}  // namespace pellandor
