#include "platform/crypto.h"

#include "platform/win32/system_library.h"

#include <windows.h>

#include <bcrypt.h>

namespace korvane {

bool sha256Digest(const void* data, size_t size, unsigned char out[32]) {
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (BCRYPT_CALL(BCryptOpenAlgorithmProvider)(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
        return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool ok = BCRYPT_CALL(BCryptCreateHash)(alg, &hash, nullptr, 0, nullptr, 0, 0) == 0;
    // One call hashes the whole input; its length is a 32-bit count.
    ok = ok && size <= 0xFFFFFFFFu &&
         BCRYPT_CALL(BCryptHashData)(hash, static_cast<PUCHAR>(const_cast<void*>(data)),
                                     ULONG(size), 0) == 0;
    ok = ok && BCRYPT_CALL(BCryptFinishHash)(hash, out, 32, 0) == 0;
    if (hash) BCRYPT_CALL(BCryptDestroyHash)(hash);
    BCRYPT_CALL(BCryptCloseAlgorithmProvider)(alg, 0);
    return ok;
}

} // namespace korvane
