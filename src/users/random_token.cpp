#include "users/random_token.h"

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <stdexcept>
#include <vector>

namespace orv::users {

std::string RandomToken(size_t bytes) {
  std::vector<unsigned char> raw(bytes);
  if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1) {
    throw std::runtime_error("the system's random generator failed");
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(2 * bytes);
  for (unsigned char b : raw) {
    text.push_back(kHex[b >> 4]);
    text.push_back(kHex[b & 15]);
  }
  return text;
}

bool SameSecret(const std::string& a, const std::string& b) {
  return a.size() == b.size() && CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace orv::users
