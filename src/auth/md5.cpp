#include "auth/md5.h"

#include <openssl/evp.h>

#include <algorithm>
#include <climits>
#include <cstdio>

#include "auth/tlx_authentication.h"

extern "C" {

void MD5Init(TLX_MD5_CONTEXT* context) {
  if (context == nullptr) return;
  context->evp = EVP_MD_CTX_new();
  if (context->evp != nullptr && EVP_DigestInit_ex(context->evp, EVP_md5(), nullptr) != 1) {
    EVP_MD_CTX_free(context->evp);
    context->evp = nullptr;
  }
}

void MD5Update(TLX_MD5_CONTEXT* context, const unsigned char* input, unsigned int length) {
  if (context == nullptr || context->evp == nullptr || (input == nullptr && length > 0)) return;
  EVP_DigestUpdate(context->evp, input, length);
}

void MD5Final(unsigned char digest[16], TLX_MD5_CONTEXT* context) {
  if (context == nullptr) return;
  unsigned int written = 0;
  if (context->evp == nullptr || EVP_DigestFinal_ex(context->evp, digest, &written) != 1 || written != 16) {
    std::fill(digest, digest + 16, 0);
  }
  EVP_MD_CTX_free(context->evp);
  context->evp = nullptr;
}

}  // extern "C"

namespace tlx::auth {

void tlxMd5Hex(const void* data, size_t len, char* out, int size) {
  if (out == nullptr || size < 1) return;
  unsigned char digest[16] = {};
  TLX_MD5_CONTEXT context;
  MD5Init(&context);
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (len > 0) {
    const unsigned int piece = static_cast<unsigned int>(std::min<size_t>(len, UINT_MAX));
    MD5Update(&context, bytes, piece);
    bytes += piece;
    len -= piece;
  }
  MD5Final(digest, &context);
  const int count = std::min(16, (size - 1) / 2);
  for (int i = 0; i < count; ++i) std::snprintf(out + 2 * i, 3, "%02x", digest[i]);
  out[2 * count] = '\0';
}

std::string tlxMd5Hex(const std::string& text) {
  char hex[33];
  tlxMd5Hex(text.data(), text.size(), hex, sizeof hex);
  return hex;
}

}  // namespace tlx::auth
