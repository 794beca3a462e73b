// MD5 digests written as lower-case hexadecimal text.
#pragma once

#include <cstddef>
#include <string>

namespace tlx::auth {

// MD5 of len bytes, written as "%02x" pairs: at most 16 bytes and at most
// (size - 1) / 2 bytes, NUL-terminated. Nothing is written when size < 1.
void tlxMd5Hex(const void* data, size_t len, char* out, int size);

// The full 32-digit form.
std::string tlxMd5Hex(const std::string& text);

}  // namespace tlx::auth
