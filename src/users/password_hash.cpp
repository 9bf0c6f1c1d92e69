// PBKDF2-HMAC-SHA256 through OpenSSL's libcrypto.
#include "users/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <charconv>
#include <optional>
#include <stdexcept>
#include <vector>

namespace orv::users {
namespace {

constexpr std::string_view kScheme = "pbkdf2-sha256";
constexpr size_t kSaltBytes = 16;
constexpr size_t kHashBytes = 32;
constexpr int kMaxIterations = 10'000'000;

std::string Hex(const std::vector<unsigned char>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (unsigned char b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::optional<std::vector<unsigned char>> Unhex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<unsigned char> out(text.size() / 2);
  for (size_t i = 0; i < out.size(); ++i) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(text.data() + 2 * i, text.data() + 2 * i + 2, value, 16);
    if (ec != std::errc() || end != text.data() + 2 * i + 2) return std::nullopt;
    out[i] = static_cast<unsigned char>(value);
  }
  return out;
}

std::vector<unsigned char> Derive(std::string_view password, const std::vector<unsigned char>& salt,
                                  int iterations, size_t length) {
  std::vector<unsigned char> out(length);
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), salt.data(),
                        static_cast<int>(salt.size()), iterations, EVP_sha256(),
                        static_cast<int>(out.size()), out.data()) != 1) {
    throw std::runtime_error("password hashing failed");
  }
  return out;
}

}  // namespace

std::string HashPassword(std::string_view password, int iterations) {
  std::vector<unsigned char> salt(kSaltBytes);
  if (RAND_bytes(salt.data(), static_cast<int>(salt.size())) != 1) {
    throw std::runtime_error("no random bytes for a password salt");
  }
  const std::vector<unsigned char> hash = Derive(password, salt, iterations, kHashBytes);
  return std::string(kScheme) + "$" + std::to_string(iterations) + "$" + Hex(salt) + "$" +
         Hex(hash);
}

bool VerifyPassword(std::string_view password, std::string_view stored) {
  // scheme $ iterations $ salt $ hash
  std::string_view parts[4];
  for (int i = 0; i < 4; ++i) {
    size_t dollar = stored.find('$');
    if ((i < 3) == (dollar == std::string_view::npos)) return false;
    parts[i] = stored.substr(0, dollar);
    stored = i < 3 ? stored.substr(dollar + 1) : std::string_view();
  }
  if (parts[0] != kScheme) return false;
  int iterations = 0;
  auto [end, ec] = std::from_chars(parts[1].data(), parts[1].data() + parts[1].size(), iterations);
  if (ec != std::errc() || end != parts[1].data() + parts[1].size() || iterations < 1 ||
      iterations > kMaxIterations) {
    return false;
  }
  auto salt = Unhex(parts[2]);
  auto expected = Unhex(parts[3]);
  if (!salt || !expected || salt->empty() || expected->empty() || expected->size() > 64) {
    return false;
  }
  const std::vector<unsigned char> actual = Derive(password, *salt, iterations, expected->size());
  return CRYPTO_memcmp(actual.data(), expected->data(), actual.size()) == 0;
}

}  // namespace orv::users
