#pragma once

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
