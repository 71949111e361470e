#include "platform/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace quorvel::platform {

std::string sha256Hex(std::string_view bytes) {
    // OpenSSL uses the processor's SHA instructions where there are any: drawings are megabytes.
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr) != 1)
        throw std::runtime_error("SHA-256 failed");
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0xF];
    }
    return hex;
}

}  // namespace quorvel::platform
