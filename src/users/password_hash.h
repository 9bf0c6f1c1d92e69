// Salted password hashes for the users file: PBKDF2-HMAC-SHA256 with a random salt, kept as
// text "pbkdf2-sha256$<iterations>$<salt hex>$<hash hex>" so that the work factor can be
// raised later without invalidating stored entries.
#pragma once

#include <string>
#include <string_view>

namespace orv::users {

inline constexpr int kDefaultIterations = 100000;

// A new salted hash of `password` (raises std::runtime_error if the system has no randomness).
std::string HashPassword(std::string_view password, int iterations = kDefaultIterations);

// Whether `password` matches `stored` (a HashPassword text). A malformed text never matches.
// The comparison takes the same time wherever the hashes differ.
bool VerifyPassword(std::string_view password, std::string_view stored);

}  // namespace orv::users
