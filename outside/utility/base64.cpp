#include <openssl/evp.h>

#include <climits>

#include "utility/tlx_utility.h"

extern "C" int encode64(const void* data, size_t n, char* out, size_t outSize) {
  if (n > static_cast<size_t>(INT_MAX / 4 * 3) || out == nullptr || (data == nullptr && n > 0)) {
    return -1;
  }
  const size_t needed = (n + 2) / 3 * 4 + 1;
  if (outSize < needed) return -1;
  return EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out),
                         static_cast<const unsigned char*>(data), static_cast<int>(n));
}
