#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Salted PBKDF2-HMAC-SHA256 of a password's bytes; the password itself is never stored.
struct PasswordHash
{
    std::string salt;
    std::string hash;
    int iterations = 0;
};

PasswordHash HashPassword(std::string_view password);
bool VerifyPassword(std::string_view password, const PasswordHash& stored);
// Spends the time of one verification and fails: a login that names no account takes as long as a wrong
// password, so response times do not tell which accounts exist.
void VerifyAgainstNoAccount(std::string_view password);
// How many hashes the process has computed; the tests' view of the work a login did.
std::uint64_t PasswordHashCount();
