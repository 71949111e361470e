#include "platform/sha256.h"

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <stdexcept>

namespace quorvel::platform {

namespace {

// The system's hashing (CNG), so the Windows build needs no crypto library of its own.
std::string sha256Digest(std::string_view bytes) {
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::string digest(32, '\0');
    bool done = BCRYPT_SUCCESS(
        BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0));
    done = done && BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0));
    done = done && BCRYPT_SUCCESS(BCryptHashData(
                       hash, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                       static_cast<ULONG>(bytes.size()), 0));
    done = done &&
           BCRYPT_SUCCESS(BCryptFinishHash(hash, reinterpret_cast<PUCHAR>(digest.data()), 32, 0));
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    if (algorithm != nullptr)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done)
        throw std::runtime_error("SHA-256 failed");
    return digest;
}

}  // namespace

std::string sha256Hex(std::string_view bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string hex;
    for (const char byte : sha256Digest(bytes)) {
        hex += kHex[static_cast<unsigned char>(byte) >> 4];
        hex += kHex[byte & 0xF];
    }
    return hex;
}

}  // namespace quorvel::platform
