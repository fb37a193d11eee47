// Stands in for a system library that someone put beside the .exe: loaded,
// it leaves a file named after itself with ".loaded" added. It exports every
// function the program takes from WinHTTP, bcrypt, CRYPT32 and WINTRUST, so
// a program that imported them would start with it in their place.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    wchar_t path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    lstrcatW(path, L".loaded");
    HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return TRUE;
}

#define STANDIN(name)                                                                              \
    extern "C" __declspec(dllexport) int name() {                                                 \
        return 0;                                                                                  \
    }
// clang-format off
STANDIN(BCryptCloseAlgorithmProvider) STANDIN(BCryptCreateHash) STANDIN(BCryptDestroyHash)
STANDIN(BCryptFinishHash) STANDIN(BCryptHashData) STANDIN(BCryptOpenAlgorithmProvider)
STANDIN(CertFreeCertificateChain) STANDIN(CertFreeCertificateContext)
STANDIN(CertGetCertificateChain) STANDIN(CertGetNameStringW)
STANDIN(CertVerifyCertificateChainPolicy) STANDIN(CryptDecodeObject) STANDIN(CryptEncodeObject)
STANDIN(CryptMsgClose) STANDIN(CryptMsgGetParam) STANDIN(CryptMsgOpenToDecode)
STANDIN(CryptMsgUpdate) STANDIN(CryptVerifyDetachedMessageSignature)
STANDIN(WTHelperGetProvSignerFromChain) STANDIN(WTHelperProvDataFromStateData)
STANDIN(WinHttpCloseHandle) STANDIN(WinHttpConnect) STANDIN(WinHttpOpen)
STANDIN(WinHttpOpenRequest) STANDIN(WinHttpQueryDataAvailable) STANDIN(WinHttpQueryHeaders)
STANDIN(WinHttpReadData) STANDIN(WinHttpReceiveResponse) STANDIN(WinHttpSendRequest)
STANDIN(WinHttpSetOption) STANDIN(WinHttpSetTimeouts) STANDIN(WinVerifyTrust)
// clang-format on
