#include "server/Passwords.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <atomic>
#include <stdexcept>

namespace {

constexpr int kIterations = 120000;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;

std::atomic<std::uint64_t> g_hashCount{0};

std::string derive(std::string_view password, const std::string& salt, int iterations)
{
    ++g_hashCount;
    std::string out(kHashBytes, '\0');
    if (PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), reinterpret_cast<const unsigned char*>(salt.data()),
                          int(salt.size()), iterations, EVP_sha256(), kHashBytes,
                          reinterpret_cast<unsigned char*>(out.data())) != 1)
        throw std::runtime_error("password hashing failed");
    return out;
}

} // namespace

PasswordHash HashPassword(std::string_view password)
{
    PasswordHash result;
    result.salt.resize(kSaltBytes);
    if (RAND_bytes(reinterpret_cast<unsigned char*>(result.salt.data()), kSaltBytes) != 1)
        throw std::runtime_error("no random bytes for a salt");
    result.iterations = kIterations;
    result.hash = derive(password, result.salt, kIterations);
    return result;
}

bool VerifyPassword(std::string_view password, const PasswordHash& stored)
{
    if (stored.iterations <= 0 || stored.hash.size() != std::size_t(kHashBytes))
        return false;
    const std::string candidate = derive(password, stored.salt, stored.iterations);
    return CRYPTO_memcmp(candidate.data(), stored.hash.data(), candidate.size()) == 0;
}

void VerifyAgainstNoAccount(std::string_view password)
{
    static const std::string salt(kSaltBytes, '\0');
    derive(password, salt, kIterations);
}

std::uint64_t PasswordHashCount()
{
    return g_hashCount.load();
}
