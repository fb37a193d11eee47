#include "platform/codesign.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <vector>

namespace korvane {

const char* const DetachedSignatureSuffix = "";
const char* const UpdateManifestPath = "/companion-latest.json";

TrustResult checkFileTrust(const std::wstring& path, const std::string& /*authorityPem*/) {
    WINTRUST_FILE_INFO file{};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path.c_str();
    WINTRUST_DATA data{};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    // The check keeps state until it is closed, whatever it answered.
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);

    static const struct {
        uint32_t code;
        TrustVerdict verdict;
    } verdicts[] = {{0, TrustVerdict::Trusted},
                    {0x800B0100, TrustVerdict::NotSigned},
                    {0x80096010, TrustVerdict::ModifiedAfterSigning},
                    {0x800B0109, TrustVerdict::UntrustedSigner},
                    {0x800B0101, TrustVerdict::Expired},
                    {0x800B0110, TrustVerdict::WrongUsage}};
    TrustResult r;
    r.code = uint32_t(result);
    r.verdict = TrustVerdict::Other;
    for (const auto& v : verdicts)
        if (v.code == r.code) r.verdict = v.verdict;
    return r;
}

bool readFileSignerName(const std::wstring& path, std::string& name) {
    name.clear();
    HCERTSTORE store = nullptr;
    HCRYPTMSG msg = nullptr;
    DWORD encoding = 0, contentType = 0, formatType = 0;
    if (!CryptQueryObject(CERT_QUERY_OBJECT_FILE, path.c_str(),
                          CERT_QUERY_CONTENT_FLAG_PKCS7_SIGNED_EMBED, CERT_QUERY_FORMAT_FLAG_BINARY,
                          0, &encoding, &contentType, &formatType, &store, &msg, nullptr))
        return false;
    DWORD size = 0;
    if (CryptMsgGetParam(msg, CMSG_SIGNER_INFO_PARAM, 0, nullptr, &size) && size > 0) {
        std::vector<unsigned char> buf(size);
        if (CryptMsgGetParam(msg, CMSG_SIGNER_INFO_PARAM, 0, buf.data(), &size)) {
            auto* signer = reinterpret_cast<CMSG_SIGNER_INFO*>(buf.data());
            CERT_INFO wanted{};
            wanted.Issuer = signer->Issuer;
            wanted.SerialNumber = signer->SerialNumber;
            PCCERT_CONTEXT cert =
                CertFindCertificateInStore(store, X509_ASN_ENCODING | PKCS_7_ASN_ENCODING, 0,
                                           CERT_FIND_SUBJECT_CERT, &wanted, nullptr);
            if (cert) {
                DWORD len =
                    CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, nullptr, 0);
                if (len > 1) {
                    std::string text(len, '\0');
                    CertGetNameStringA(cert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, text.data(),
                                       len);
                    name.assign(text.c_str());
                }
                CertFreeCertificateContext(cert);
            }
        }
    }
    CryptMsgClose(msg);
    CertCloseStore(store, 0);
    return !name.empty();
}

} // namespace korvane
