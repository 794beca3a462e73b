// The flat interface of the MPEG-4 video decoder core. A caller creates an
// instance, hands it one run of elementary-stream bytes at a time in an
// Mpeg4DecFrame and gets back how many bytes were used, which picture (if
// any) is ready, and its planes.
//
// Every function returns the instance's status word: 0 is clean, bit 31 is
// fatal (0x81000000: out of memory) and stays until Mpeg4DecExit; other bits
// report damage in the bytes just given.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/tlx_export.h"

// Passed by pointer to Mpeg4DecAFrame and the two look functions. The
// decoder clears every out field at the start of each call. The address
// fields (input, output buffer, the three planes, buffer base) are pointer
// sized: the 32-bit original kept them in 32-bit fields.
struct Mpeg4DecFrame {
  const uint8_t* input;      // in: first byte of elementary stream
  uint32_t inputLength;      // in: bytes available from input
  uint8_t* outputBuffer;     // in: destination picture buffer, null = decode only
  uint32_t outputFormat;     // in: output format code
  int32_t outputStride;      // in: bytes from one destination row to the next
  uint32_t outputWidth;      // in: columns to convert, 0 = the picture width
  uint32_t outputHeight;     // in: rows to convert, 0 = the picture height
  uint32_t outputX;          // in: top-left picture position of the area
  uint32_t outputY;
  uint32_t consumed;         // out: bytes of input used by the call
  uint32_t width;            // out: picture size of the layer
  uint32_t height;
  uint32_t sequenceFound;    // out: 0x14000 when a sequence header parsed clean
  uint32_t pictureKind;      // out: 0 none or end marker, 1 I, 2 P, 3 B, 4 S
  uint32_t outputAvailable;  // out: 1 when a picture is returned
  uint32_t reorderDelay;     // out: decode calls the returned picture lags
  uint32_t timeSeconds;      // out: 0x7FFFFFFF at an end marker
  uint32_t timeIncrement;
  uint32_t timeResolution;
  uint8_t* yPlane;           // out: planes of the returned picture
  uint8_t* uPlane;
  uint8_t* vPlane;
  uint32_t yStride;          // out: plane strides in bytes
  uint32_t uStride;
  uint32_t vStride;
  uint32_t shortHeader;      // out: 1 when the input began with a short header
  const uint8_t* bufferBase; // in: null, or a 4-byte aligned base (see AttachInput)
  uint32_t chromaFormat;     // out: chroma format of the layer
};

static_assert(sizeof(void*) != 8 || sizeof(Mpeg4DecFrame) == 144);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, inputLength) == 8);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, outputBuffer) == 16);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, outputFormat) == 24);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, consumed) == 48);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, pictureKind) == 64);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, timeResolution) == 84);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, yPlane) == 88);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, vPlane) == 104);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, yStride) == 112);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, shortHeader) == 124);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, bufferBase) == 128);
static_assert(sizeof(void*) != 8 || offsetof(Mpeg4DecFrame, chromaFormat) == 136);

// Output format codes (bit 0: destination rows bottom-up).
inline constexpr uint32_t kMpeg4OutputNone = 0x00000000;
inline constexpr uint32_t kMpeg4OutputPlanar = 0x01000000;
inline constexpr uint32_t kMpeg4OutputYuy2 = 0x02000000;
inline constexpr uint32_t kMpeg4OutputRgb555 = 0x10000000;
inline constexpr uint32_t kMpeg4OutputRgb565 = 0x20000000;
inline constexpr uint32_t kMpeg4OutputRgb24 = 0x30000000;
inline constexpr uint32_t kMpeg4OutputRgb32 = 0x40000000;

inline constexpr uint32_t kMpeg4SequenceFound = 0x14000;

extern "C" {

TLX_EXPORT uint32_t Mpeg4DecInit(void** handle);
// Not supported: returns 0x200000 and leaves *handle as it is.
TLX_EXPORT uint32_t Mpeg4DecInitEx(void** handle, uint32_t parameter);
TLX_EXPORT uint32_t Mpeg4DecExit(void* handle);
TLX_EXPORT uint32_t Mpeg4DecAFrame(void* handle, Mpeg4DecFrame* frame);
// Forgets the reference pictures; the next picture must be intra to show.
TLX_EXPORT uint32_t Mpeg4DecDiscon(void* handle);
// Forgets the sequence header too; decoding resumes at the next one.
TLX_EXPORT uint32_t Mpeg4DecReset(void* handle);
TLX_EXPORT uint32_t Mpeg4DecLookSequenceHeader(void* handle, Mpeg4DecFrame* frame);
TLX_EXPORT uint32_t Mpeg4DecLookPictureHeader(void* handle, Mpeg4DecFrame* frame);
TLX_EXPORT uint32_t Mpeg4DecDebugDump(void* handle, uint32_t parameter);

}  // extern "C"
