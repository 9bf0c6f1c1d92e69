// Unguessable tokens for the sessions of the server front ends (logins, CSRF checks): random
// bytes from the system's cryptographic generator, written as lowercase hex.
#pragma once

#include <cstddef>
#include <string>

namespace orv::users {

// `bytes` random bytes as 2 * bytes hex digits. Raises std::runtime_error when the system has
// no randomness to give.
std::string RandomToken(size_t bytes = 32);

// Whether two texts are equal, taking the same time wherever they differ (for secrets).
bool SameSecret(const std::string& a, const std::string& b);

}  // namespace orv::users
