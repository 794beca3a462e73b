// The AVC decoder core: the entries the decoder filter calls and the records
// they exchange. The filter binds the entries by name at run time; both sides
// include this header, so the record layouts are fixed here once.
//
// Every entry returns a 32-bit status: negative on failure, otherwise 0 or a
// status word of the flags below. The instance is an opaque handle.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Status words.
#define TLXAVC_STATUS_OK 0
#define TLXAVC_STATUS_DRAINING 0x400000      // GetNumUnpullPicture after a flush
#define TLXAVC_STATUS_BUSY 0x800000          // NALUnit: picture queue full, nothing taken
// NALUnit, FinalizePicture, FlushPicture: since the last of these calls the
// decoder put out pictures in a form this core does not (chroma other than
// 4:2:0, samples wider than 8 bits); they were dropped. Discontinue and
// Initialize forget it.
#define TLXAVC_STATUS_NOT_SHOWN 0x200000
#define TLXAVC_STATUS_BAD_ARGUMENT ((int32_t)0x80000001)
#define TLXAVC_STATUS_FATAL ((int32_t)0x80000002)  // the instance can no longer decode
#define TLXAVC_STATUS_NO_PICTURE ((int32_t)0x80000003)

// NALUnit result word 5: the frame timing is new; ask for it with the timing
// query below.
#define TLXAVC_RESULT_NEW_TIMING 0x8000000

// Mode bits: 0x100 or 0x400 decode with several threads; 0x80 and the low
// bits 0x0F are taken and have no effect.
#define TLXAVC_MODE_MULTITHREAD 0x500

// Picture flag word.
#define TLXAVC_PICTURE_PROGRESSIVE 0x4
#define TLXAVC_PICTURE_TWO_FIELDS 0x800
#define TLXAVC_PICTURE_BOTTOM_FIRST 0x1000

// Side-information kinds.
#define TLXAVC_SIDE_SEQUENCE 1       // TlxAvcSequenceInfo, at the picture's index
#define TLXAVC_SIDE_CROP 16          // TlxAvcCropInfo, at index + field
#define TLXAVC_SIDE_TIME 256         // TlxAvcTimeInfo, at index + field
#define TLXAVC_SIDE_TIMING 0x8000000 // TlxAvcTimingInfo, at index -1

typedef void* TlxAvcHandle;
typedef void (*TlxAvcPictureReady)(void* context);

// Result of NALUnit. word[1]: bytes of the unit taken (> 0 unless busy);
// word[4]: 1 when the aux data of the previous unit was taken; word[5]:
// TLXAVC_RESULT_NEW_TIMING. The other words are 0.
typedef struct TlxAvcNalResult {
  int32_t word[8];
} TlxAvcNalResult;

// One unit: the bytes after a start code, running to the end of the data held
// (byte stream), or one whole sample of 4-byte length-prefixed units.
// The pointer is 64 bits wide here where the original record kept 32.
typedef struct TlxAvcNalData {
  const uint8_t* data;
  int32_t length;
} TlxAvcNalData;

typedef struct TlxAvcExtTimeStamp {
  int64_t time;   // 100 ns units
  int32_t valid;  // 1
} TlxAvcExtTimeStamp;

typedef struct TlxAvcAuxData {
  uint8_t timeAttached;
  uint8_t discontinuity;
} TlxAvcAuxData;

typedef struct TlxAvcSideInfoQuery {
  int32_t index;
  int32_t kind;
  int32_t size;  // bytes of the answer buffer
} TlxAvcSideInfoQuery;

typedef struct TlxAvcCropInfo {
  int32_t cropped;  // 1: the crop words apply
  int32_t left, right, top, bottom;
  int32_t notShown;  // 1: the picture is decoded but not shown
  int32_t reserved[58];
} TlxAvcCropInfo;

typedef struct TlxAvcSequenceInfo {
  int32_t width, height;
  int32_t aspectPresent;  // 1: aspectIdc (and for 255 sarWidth, sarHeight) hold
  int32_t aspectIdc;
  int32_t sarWidth, sarHeight;
  int32_t reserved[206];
} TlxAvcSequenceInfo;

typedef struct TlxAvcTimeInfo {
  uint8_t timeValid;
  uint8_t discontinuity;
  uint8_t reserved[14];
} TlxAvcTimeInfo;

// Duration of one field: whole + numerator / denominator seconds.
typedef struct TlxAvcTimingInfo {
  int32_t whole, numerator, denominator;
} TlxAvcTimingInfo;

typedef struct TlxAvcPictureId {
  int32_t number;
  int32_t sideInfoIndex;
} TlxAvcPictureId;

// The plane pointers are 64 bits wide here where the original record kept 32.
typedef struct TlxAvcPicture {
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int32_t flags;
  int32_t width, height;
  int32_t lumaStride;
  int32_t chromaStride;  // lumaStride / 2; every chroma row is readable 8 samples past its width
} TlxAvcPicture;

typedef struct TlxAvcPictureTime {
  int32_t valid;
  int64_t time;
} TlxAvcPictureTime;

#ifdef __cplusplus
static_assert(sizeof(TlxAvcNalResult) == 32);
static_assert(offsetof(TlxAvcNalData, length) == 8 && sizeof(TlxAvcNalData) == 16);
static_assert(offsetof(TlxAvcExtTimeStamp, valid) == 8 && sizeof(TlxAvcExtTimeStamp) == 16);
static_assert(offsetof(TlxAvcAuxData, discontinuity) == 1 && sizeof(TlxAvcAuxData) == 2);
static_assert(offsetof(TlxAvcSideInfoQuery, kind) == 4 && offsetof(TlxAvcSideInfoQuery, size) == 8 &&
              sizeof(TlxAvcSideInfoQuery) == 12);
static_assert(offsetof(TlxAvcCropInfo, notShown) == 20 && sizeof(TlxAvcCropInfo) == 256);
static_assert(offsetof(TlxAvcSequenceInfo, sarHeight) == 20 && sizeof(TlxAvcSequenceInfo) == 848);
static_assert(offsetof(TlxAvcTimeInfo, discontinuity) == 1 && sizeof(TlxAvcTimeInfo) == 16);
static_assert(sizeof(TlxAvcTimingInfo) == 12);
static_assert(offsetof(TlxAvcPictureId, sideInfoIndex) == 4 && sizeof(TlxAvcPictureId) == 8);
static_assert(offsetof(TlxAvcPicture, u) == 8 && offsetof(TlxAvcPicture, v) == 16 &&
              offsetof(TlxAvcPicture, flags) == 24 && offsetof(TlxAvcPicture, width) == 28 &&
              offsetof(TlxAvcPicture, height) == 32 && offsetof(TlxAvcPicture, lumaStride) == 36 &&
              offsetof(TlxAvcPicture, chromaStride) == 40 && sizeof(TlxAvcPicture) == 48);
static_assert(offsetof(TlxAvcPictureTime, time) == 8 && sizeof(TlxAvcPictureTime) == 16);
#endif

int32_t AVCDecCreateInstanceEx2(TlxAvcHandle* handle, int32_t mode, TlxAvcPictureReady callback,
                                void* context);
int32_t AVCDecReleaseInstance(TlxAvcHandle* handle);
// Drops the undecoded data and the decoder's references; leaves draining.
int32_t AVCDecDiscontinue(TlxAvcHandle handle);
// As Discontinue, and releases the pictures not yet pulled.
int32_t AVCDecInitialize(TlxAvcHandle handle);
// Takes one unit: busy (TLXAVC_STATUS_BUSY, nothing taken, and the Attach and
// SetAux calls that follow are ignored) or the unit becomes the pending one,
// to which the following AttachExtTimeStamp and SetAuxData apply.
int32_t AVCDecNALUnit(TlxAvcHandle handle, TlxAvcNalResult* result, const TlxAvcNalData* unit);
int32_t AVCDecAttachExtTimeStamp(TlxAvcHandle handle, const TlxAvcExtTimeStamp* stamp);
int32_t AVCDecSetAuxData(TlxAvcHandle handle, const TlxAvcAuxData* aux);
// count = pictures not yet pulled; status TLXAVC_STATUS_DRAINING after a flush.
int32_t AVCDecGetNumUnpullPicture(TlxAvcHandle handle, int32_t* count);
// 100 or more: output may start.
int32_t AVCDecGetDecodeRatio(TlxAvcHandle handle, int32_t* ratio);
// Pulls the oldest picture; it stays valid until ReleasePicture.
int32_t AVCDecGetPicture(TlxAvcHandle handle, TlxAvcPictureId* id, TlxAvcPicture* picture,
                         TlxAvcPictureTime* time);
int32_t AVCDecReleasePicture(TlxAvcHandle handle);
int32_t AVCDecGetSideInfo(TlxAvcHandle handle, const TlxAvcSideInfoQuery* query, void* answer);
// Decodes what was handed over so far. The 32-byte buffer is not written.
int32_t AVCDecFinalizePicture(TlxAvcHandle handle, void* buffer);
// As Finalize, then drains the decoder: every picture is queued, the core is
// draining and the callback is called once. TLXAVC_STATUS_FATAL: re-create.
int32_t AVCDecFlushPicture(TlxAvcHandle handle, void* buffer);

#ifdef __cplusplus
}
#endif
