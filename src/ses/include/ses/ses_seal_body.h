// The part that both seal variants share: the 16-byte header (random bytes R,
// payload length, digest word) and the payload masked with R. The variants
// differ in the byte order of the length, the padding, the key and the prefix.
#pragma once

#include <cstddef>
#include <cstdint>

inline constexpr size_t kSesHeaderSize = 16;
inline constexpr size_t kSesPrefixSize = 4;
inline constexpr size_t kSesRandomSize = 8;
inline constexpr size_t kSesMaxPayload = 65535;

enum class SesLengthOrder { HighFirst, LowFirst };

// Writes header and masked payload to body[0 .. 16 + length). R comes from
// the library's generator. length must not exceed kSesMaxPayload.
void sesSealBody(const void* payload, size_t length, SesLengthOrder order, uint8_t* body);

// Reads an opened body of n >= 16 bytes. A length above the payload bytes
// present is cut to them when `cutLength` is set and refused otherwise. On
// success the unmasked payload (which the digest word confirms) is written to
// `out`, which must hold n - 16 bytes, and its length to `length`; on failure
// `out` keeps nothing of the payload.
bool sesOpenBody(const uint8_t* body, size_t n, SesLengthOrder order, bool cutLength, uint8_t* out,
                 size_t* length);
