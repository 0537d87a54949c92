#include <openssl/evp.h>

#include <array>
#include <memory>

#include "protocol/pjlink_codec.h"

namespace tarnex::pjlink {

// PJLink names MD5; libcrypto's digest interface is the one OpenSSL 3 keeps.
std::string AuthPrefix(std::string_view random, std::string_view password) {
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
  std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
  unsigned int length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), random.data(), random.size()) != 1 ||
      EVP_DigestUpdate(context.get(), password.data(), password.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1)
    return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 0x0f];
  }
  return hex;
}

}  // namespace tarnex::pjlink
