#include "platform/crypto.h"

#include <openssl/evp.h>

namespace korvane {

bool sha256Digest(const void* data, size_t size, unsigned char out[32]) {
    unsigned int length = 0;
    return EVP_Digest(data, size, out, &length, EVP_sha256(), nullptr) == 1 && length == 32;
}

} // namespace korvane
