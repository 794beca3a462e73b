// The easy-registration record: what a player needs to reach and register
// with one base station, exchanged as one sealed block.
#pragma once

#include <cstddef>
#include <cstdint>

#ifndef TLX_EXPORT
#define TLX_EXPORT __attribute__((visibility("default")))
#endif

// Texts are NUL-terminated within their fields.
struct TLX_ERD_INFO {
  char domain[52];       // at most 51 characters
  int32_t port;          // 0..99999
  char password[64];     // at most 63
  char model[24];        // at most 23
  char softVersion[8];   // at most 7
  char id[32];           // at most 31
};
static_assert(sizeof(TLX_ERD_INFO) == 184);
static_assert(offsetof(TLX_ERD_INFO, domain) == 0);
static_assert(offsetof(TLX_ERD_INFO, port) == 52);
static_assert(offsetof(TLX_ERD_INFO, password) == 56);
static_assert(offsetof(TLX_ERD_INFO, model) == 120);
static_assert(offsetof(TLX_ERD_INFO, softVersion) == 144);
static_assert(offsetof(TLX_ERD_INFO, id) == 152);

extern "C" {

// Bytes the sealed block of `info` needs; -16 for a null record.
TLX_EXPORT int tlxErdLib_getErdEncryptedSize(const TLX_ERD_INFO* info);

// Seals the record into `out` of outSize bytes. 0, or -16 for a null record or
// buffer, -10 out of memory, -15 a text too long for its field or a port
// outside 0..99999, -11 outSize below tlxErdLib_getErdEncryptedSize, -12 the
// seal failed.
TLX_EXPORT int tlxErdLib_encryptErdInfo(const TLX_ERD_INFO* info, void* out, int outSize);

// Opens a sealed block into `out`, which is zeroed first and stays zeroed on
// failure. 0, or -16 for a null pointer, -10 for a block of 20 bytes or less
// or out of memory, -13 the block does not open (size, prefix, key, digest),
// -14 the opened text is not a record.
TLX_EXPORT int tlxErdLib_decryptErdInfo(const void* in, int inSize, TLX_ERD_INFO* out);

}  // extern "C"
