// What Windows' own API reads from a file's Authenticode signature, one line per file:
//   <file>: signer <name> (<subject>); timestamp <the timestamp authority's, or ->
// or "<file>: no signature (0x...)" when the system finds none.
// Usage: signature_view.exe FILE...   (exit 1 when the system's calls fail otherwise)
#include <windows.h>
#include <wincrypt.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> messageParam(HCRYPTMSG msg, DWORD param) {
    DWORD size = 0;
    if (!CryptMsgGetParam(msg, param, 0, nullptr, &size)) return {};
    std::vector<BYTE> data(size);
    if (!CryptMsgGetParam(msg, param, 0, data.data(), &size)) return {};
    return data;
}

// The certificate in store that signed (issuer and serial of the signer info): its name as
// Windows shows the signer, and its whole subject.
std::string signerSubject(HCERTSTORE store, const CMSG_SIGNER_INFO& signer) {
    CERT_INFO wanted = {};
    wanted.Issuer = signer.Issuer;
    wanted.SerialNumber = signer.SerialNumber;
    PCCERT_CONTEXT cert = CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                                     CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
    if (!cert) return "<not found>";
    char name[256] = "", subject[1024] = "";
    CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, sizeof name);
    CertNameToStrA(X509_ASN_ENCODING, &cert->pCertInfo->Subject, CERT_X500_NAME_STR, subject, sizeof subject);
    CertFreeCertificateContext(cert);
    return std::string(name) + " (" + subject + ")";
}

const CRYPT_ATTRIBUTE* findAttribute(const CRYPT_ATTRIBUTES& attributes, const char* oid) {
    for (DWORD i = 0; i < attributes.cAttr; ++i)
        if (std::string(attributes.rgAttr[i].pszObjId) == oid && attributes.rgAttr[i].cValue > 0)
            return &attributes.rgAttr[i];
    return nullptr;
}

std::string narrow(const wchar_t* text) {
    char out[1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out, sizeof out, nullptr, nullptr);
    return out;
}

// The RFC 3161 timestamp is a signed message of its own among the unsigned attributes; its
// signer is the timestamp authority.
std::string timestampSigner(HCRYPTMSG msg) {
    std::vector<BYTE> data = messageParam(msg, CMSG_SIGNER_UNAUTH_ATTR_PARAM);
    if (data.empty()) return "-";
    const auto* attributes = reinterpret_cast<const CRYPT_ATTRIBUTES*>(data.data());
    const CRYPT_ATTRIBUTE* token = findAttribute(*attributes, "1.3.6.1.4.1.311.3.3.1");
    if (!token) return "-";
    HCRYPTMSG inner = CryptMsgOpenToDecode(X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, 0, nullptr, nullptr);
    std::string subject = "<undecodable>";
    if (CryptMsgUpdate(inner, token->rgValue[0].pbData, token->rgValue[0].cbData, TRUE)) {
        HCERTSTORE store = CertOpenStore(CERT_STORE_PROV_MSG, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0, 0, inner);
        std::vector<BYTE> signer = messageParam(inner, CMSG_SIGNER_INFO_PARAM);
        if (store && !signer.empty())
            subject = signerSubject(store, *reinterpret_cast<const CMSG_SIGNER_INFO*>(signer.data()));
        if (store) CertCloseStore(store, 0);
    }
    CryptMsgClose(inner);
    return subject;
}

bool view(const wchar_t* path) {
    DWORD encoding = 0, content = 0, format = 0;
    HCERTSTORE store = nullptr;
    HCRYPTMSG msg = nullptr;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path, CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED,
                          CERT_QUERY_FORMAT_FLAG_BINARY, 0, &encoding, &content, &format, &store, &msg, nullptr)) {
        std::printf("%s: no signature (0x%08lX)\n", narrow(path).c_str(), GetLastError());
        return true;
    }
    std::vector<BYTE> data = messageParam(msg, CMSG_SIGNER_INFO_PARAM);
    if (data.empty()) {
        std::printf("%s: CryptMsgGetParam failed (0x%08lX)\n", narrow(path).c_str(), GetLastError());
        return false;
    }
    const auto* signer = reinterpret_cast<const CMSG_SIGNER_INFO*>(data.data());
    std::printf("%s: signer %s; timestamp %s\n", narrow(path).c_str(), signerSubject(store, *signer).c_str(),
                timestampSigner(msg).c_str());
    CryptMsgClose(msg);
    CertCloseStore(store, 0);
    return true;
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    bool ok = argc > 1;
    for (int i = 1; i < argc; ++i) ok = view(argv[i]) && ok;
    return ok ? 0 : 1;
}
