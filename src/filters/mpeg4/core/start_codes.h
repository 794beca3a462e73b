// Start codes and resynchronisation markers of the elementary stream, and the
// reader helpers that find them. Every start-code value of the core is here.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/bit_reader.h"

namespace tlx::mpeg4 {

// 32-bit start codes (the prefix 0x000001 and the code byte).
inline constexpr uint32_t kStartCodePrefix = 0x100;
inline constexpr uint32_t kVoStartCodeFirst = 0x100;
inline constexpr uint32_t kVoStartCodeLast = 0x11F;
inline constexpr uint32_t kVolStartCodeFirst = 0x120;
inline constexpr uint32_t kVolStartCodeLast = 0x12F;
inline constexpr uint32_t kUserDataStartCode = 0x1B2;
inline constexpr uint32_t kGovStartCode = 0x1B3;
inline constexpr uint32_t kVopStartCode = 0x1B6;
inline constexpr uint32_t kEndMarker = 0x1B7;
inline constexpr uint32_t kStuffingStartCode = 0x1C3;

// The 22-bit picture start code of a short-header picture.
inline constexpr uint32_t kShortHeaderStartCode = 0x20;
inline constexpr uint32_t kShortHeaderStartCodeLength = 22;

// The 17-bit group-of-blocks start code of short-header pictures, and the
// 22-bit end-of-sequence marker.
inline constexpr uint32_t kGobStartCode = 1;
inline constexpr uint32_t kGobStartCodeLength = 17;
inline constexpr uint32_t kShortHeaderEndCode = 0x3F;

// The markers that end the first partition of a data-partitioned packet.
inline constexpr uint32_t kMotionMarker = 0x1F001;
inline constexpr uint32_t kMotionMarkerLength = 17;
inline constexpr uint32_t kDcMarker = 0x6B001;
inline constexpr uint32_t kDcMarkerLength = 19;

inline bool IsVoStartCode(uint32_t code) { return code >= kVoStartCodeFirst && code <= kVoStartCodeLast; }
inline bool IsVolStartCode(uint32_t code) { return code >= kVolStartCodeFirst && code <= kVolStartCodeLast; }

// True when the reader's window begins with a short-header picture start code.
inline bool StartsShortPicture(const BitReader& reader) {
  return (BitWindow(reader) >> (32 - kShortHeaderStartCodeLength)) == kShortHeaderStartCode;
}

// Aligns to the next byte and moves byte by byte to the next start code whose
// four bytes all lie in the data; returns it (0x100-0x1FF) without consuming
// it, or 0 with the reader at the end of the data.
uint32_t BitNextStartCode(BitReader& reader);
// Byte-aligns, then passes over bytes to the next short-header picture start
// code or start code prefix (00 00 01), or to the end of the data.
void BitNextPictureStart(BitReader& reader);
// BitNextStartCode, passing over user-data start codes.
uint32_t BitNextStartCodeAfterUserData(BitReader& reader);
// The n bits after the stuffing that ends a packet (a 0 and up to seven 1s
// to the byte boundary, or a whole stuffing byte 0x7F when aligned), or after
// a byte boundary already followed by a zero byte; 0xFFFFFFFF when neither
// starts here. Consumes nothing.
uint32_t BitNextIsResyncMarker(const BitReader& reader, uint32_t n);
// The length of the resync marker after the packet stuffing (as for
// BitNextIsResyncMarker), 0 when there is none. Markers are recognised
// tolerantly: z zeros and a 1 with length - 1 <= z <= 22 (23 zeros begin a
// start code), since encoders write the markers of B-VOPs longer than their
// f-codes alone give. Consumes nothing.
uint32_t BitResyncMarkerBits(const BitReader& reader, uint32_t length);
// The stuffing bits to the byte boundary followed by the next n bits, as one
// number; consumes nothing.
uint32_t BitPeekAfterStuffing(const BitReader& reader, uint32_t n);
// Aligns and moves byte by byte to the next position where a resync marker of
// n bits (n - 1 zeros) or a start code may begin, or to the end of the data.
void BitSkipToResync(BitReader& reader, uint32_t n);

}  // namespace tlx::mpeg4
