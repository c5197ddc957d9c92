#include "service/schannel_session.h"

#include <windows.h>
#include <wincrypt.h>
#define SECURITY_WIN32
#include <schannel.h>
#include <security.h>
#include <sspi.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

namespace pellandor {

namespace {

constexpr DWORD kContextFlags = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT | ISC_REQ_CONFIDENTIALITY |
                                ISC_REQ_EXTENDED_ERROR | ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM |
                                ISC_REQ_MANUAL_CRED_VALIDATION;

// Output tokens SSPI allocated (ISC_REQ_ALLOCATE_MEMORY) are freed here.
struct OutputToken {
    SecBuffer buffer{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc desc{SECBUFFER_VERSION, 1, &buffer};
    ~OutputToken() {
        if (buffer.pvBuffer != nullptr) FreeContextBuffer(buffer.pvBuffer);
    }
    void appendTo(std::string& output) const {
        if (buffer.pvBuffer != nullptr && buffer.cbBuffer > 0) {
            output.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
        }
    }
};

Failure securityFailure(SECURITY_STATUS status) {
    char text[32];
    std::snprintf(text, sizeof text, "SChannel 0x%08lx", static_cast<unsigned long>(status));
    return failure(text);
}

}  // namespace

struct SchannelSession::Handles {
    CredHandle credentials{};
    bool haveCredentials = false;
    CtxtHandle context{};
    bool haveContext = false;
    bool established = false;
    SecPkgContext_StreamSizes sizes{};

    void dropContext() {
        if (haveContext) DeleteSecurityContext(&context);
        haveContext = false;
        established = false;
    }
    ~Handles() {
        dropContext();
        if (haveCredentials) FreeCredentialsHandle(&credentials);
    }
};

SchannelSession::SchannelSession() : handles_(std::make_unique<Handles>()) {
}

SchannelSession::~SchannelSession() = default;

bool SchannelSession::initialized() const {
    return handles_->haveCredentials;
}

Status SchannelSession::init() {
    if (handles_->haveCredentials) return {};
    SCHANNEL_CRED credentials{};
    credentials.dwVersion = SCHANNEL_CRED_VERSION;
    // The exchange speaks TLS 1.2 only.
    credentials.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
    // Exchanges carry self-signed certificates, so none is checked here (as
    // on Linux); no client certificate is ever offered.
    credentials.dwFlags = SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_CRED_NO_SERVERNAME_CHECK;
    TimeStamp expiry{};
    const SECURITY_STATUS status =
        AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND, nullptr,
                                  &credentials, nullptr, nullptr, &handles_->credentials, &expiry);
    if (status != SEC_E_OK) {
        char text[64];
        std::snprintf(text, sizeof text, "AcquireCredentialsHandle fail 0x%08lx", static_cast<unsigned long>(status));
        return failure(text);
    }
    handles_->haveCredentials = true;
    return {};
}

void SchannelSession::reset() {
    handles_->dropContext();
    input_.clear();
}

void SchannelSession::addInput(const char* bytes, std::size_t length) {
    input_.append(bytes, length);
}

Result<SchannelSession::Progress> SchannelSession::handshake(std::string& output) {
    Handles& h = *handles_;
    if (!h.haveCredentials) return securityFailure(SEC_E_NO_CREDENTIALS);
    if (h.established) return Progress::Done;
    bool retriedCredentials = false;
    for (;;) {
        OutputToken token;
        ULONG attributes = 0;
        SECURITY_STATUS status;
        SecBuffer in[2] = {{0, SECBUFFER_TOKEN, nullptr}, {0, SECBUFFER_EMPTY, nullptr}};
        SecBufferDesc inDesc{SECBUFFER_VERSION, 2, in};
        const bool usesInput = h.haveContext;
        if (!usesInput) {
            // No server name: the Linux client sends none either (no SNI).
            status = InitializeSecurityContextW(&h.credentials, nullptr, nullptr, kContextFlags, 0, 0, nullptr, 0,
                                                &h.context, &token.desc, &attributes, nullptr);
            if (status == SEC_I_CONTINUE_NEEDED || status == SEC_E_OK) h.haveContext = true;
        } else {
            if (input_.empty()) return Progress::NeedInput;
            in[0].cbBuffer = static_cast<unsigned long>(std::min<std::size_t>(input_.size(), ULONG_MAX));
            in[0].pvBuffer = input_.data();
            status = InitializeSecurityContextW(&h.credentials, &h.context, nullptr, kContextFlags, 0, 0, &inDesc, 0,
                                                nullptr, &token.desc, &attributes, nullptr);
        }
        if (status == SEC_E_INCOMPLETE_MESSAGE) return Progress::NeedInput;
        if (status == SEC_I_INCOMPLETE_CREDENTIALS && !retriedCredentials) {
            retriedCredentials = true;  // asked for a client certificate: go on without one
            continue;
        }
        if (FAILED(status)) {
            token.appendTo(output);  // an alert, when SSPI made one
            return securityFailure(status);
        }
        token.appendTo(output);
        if (usesInput) {
            // What followed the handshake messages stays for the next step.
            if (in[1].BufferType == SECBUFFER_EXTRA && in[1].cbBuffer > 0 && in[1].cbBuffer <= input_.size()) {
                input_.erase(0, input_.size() - in[1].cbBuffer);
            } else {
                input_.clear();
            }
        }
        if (status == SEC_E_OK) {
            const SECURITY_STATUS sizes = QueryContextAttributesW(&h.context, SECPKG_ATTR_STREAM_SIZES, &h.sizes);
            if (sizes != SEC_E_OK) return securityFailure(sizes);
            h.established = true;
            return Progress::Done;
        }
        if (status != SEC_I_CONTINUE_NEEDED) return securityFailure(status);
        // Send what is in `output`; what is left of the input goes on at once.
        if (input_.empty()) return Progress::NeedInput;
    }
}

Status SchannelSession::encrypt(const char* bytes, std::size_t length, std::string& output) {
    Handles& h = *handles_;
    if (!h.established) return securityFailure(SEC_E_INVALID_HANDLE);
    const std::size_t maximum = std::max<unsigned long>(h.sizes.cbMaximumMessage, 1);
    std::string record;
    while (length > 0) {
        const std::size_t chunk = std::min(length, maximum);
        record.assign(h.sizes.cbHeader + chunk + h.sizes.cbTrailer, '\0');
        std::memcpy(record.data() + h.sizes.cbHeader, bytes, chunk);
        SecBuffer buffers[4] = {
            {h.sizes.cbHeader, SECBUFFER_STREAM_HEADER, record.data()},
            {static_cast<unsigned long>(chunk), SECBUFFER_DATA, record.data() + h.sizes.cbHeader},
            {h.sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record.data() + h.sizes.cbHeader + chunk},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = EncryptMessage(&h.context, 0, &desc, 0);
        if (status != SEC_E_OK) return securityFailure(status);
        // The trailer may come out shorter than its maximum.
        output.append(record.data(), buffers[0].cbBuffer + buffers[1].cbBuffer);
        output.append(static_cast<const char*>(buffers[2].pvBuffer), buffers[2].cbBuffer);
        bytes += chunk;
        length -= chunk;
    }
    return {};
}

Result<SchannelSession::Progress> SchannelSession::decrypt(std::string& plain) {
    Handles& h = *handles_;
    if (!h.established) return securityFailure(SEC_E_INVALID_HANDLE);
    const std::size_t before = plain.size();
    while (!input_.empty()) {
        SecBuffer buffers[4] = {
            {static_cast<unsigned long>(std::min<std::size_t>(input_.size(), ULONG_MAX)), SECBUFFER_DATA,
             input_.data()},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
            {0, SECBUFFER_EMPTY, nullptr},
        };
        SecBufferDesc desc{SECBUFFER_VERSION, 4, buffers};
        const SECURITY_STATUS status = DecryptMessage(&h.context, &desc, 0, nullptr);
        if (status == SEC_E_INCOMPLETE_MESSAGE) break;
        if (status == SEC_I_CONTEXT_EXPIRED) return plain.size() > before ? Progress::Done : Progress::Closed;
        // A renegotiation request is refused too: the exchange never asks for one.
        if (status != SEC_E_OK) return securityFailure(status);
        std::size_t produced = 0;
        std::size_t extra = 0;
        for (const SecBuffer& b : buffers) {
            if (b.BufferType == SECBUFFER_DATA && b.pvBuffer != nullptr) {
                plain.append(static_cast<const char*>(b.pvBuffer), b.cbBuffer);
                produced += b.cbBuffer;
            } else if (b.BufferType == SECBUFFER_EXTRA) {
                extra = b.cbBuffer;
            }
        }
        // WORKAROUND: Wine answers close_notify with SEC_E_OK and no data
        // instead of SEC_I_CONTEXT_EXPIRED.
        if (produced == 0 && extra == 0) {
            input_.clear();
            return plain.size() > before ? Progress::Done : Progress::Closed;
        }
        if (extra > input_.size()) extra = input_.size();
        input_.erase(0, input_.size() - extra);
    }
    return plain.size() > before ? Progress::Done : Progress::NeedInput;
}

Result<const _CERT_CONTEXT*> SchannelSession::peerCertificate() {
    Handles& h = *handles_;
    if (!h.established) return securityFailure(SEC_E_INVALID_HANDLE);
    PCCERT_CONTEXT cert = nullptr;
    const SECURITY_STATUS status = QueryContextAttributesW(&h.context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &cert);
    if (status != SEC_E_OK) return securityFailure(status);
    if (cert == nullptr) return securityFailure(SEC_E_NO_CREDENTIALS);
    return cert;
}

Status SchannelSession::shutdown(std::string& output) {
    Handles& h = *handles_;
    if (!h.haveContext) return securityFailure(SEC_E_INVALID_HANDLE);
    DWORD type = SCHANNEL_SHUTDOWN;
    SecBuffer control{sizeof type, SECBUFFER_TOKEN, &type};
    SecBufferDesc controlDesc{SECBUFFER_VERSION, 1, &control};
    SECURITY_STATUS status = ApplyControlToken(&h.context, &controlDesc);
    if (status != SEC_E_OK) return securityFailure(status);
    OutputToken token;
    ULONG attributes = 0;
    status = InitializeSecurityContextW(&h.credentials, &h.context, nullptr, kContextFlags, 0, 0, nullptr, 0, nullptr,
                                        &token.desc, &attributes, nullptr);
    if (FAILED(status)) return securityFailure(status);
    token.appendTo(output);
    return {};
}

}  // namespace pellandor
