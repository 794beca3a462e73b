// Reader of an AVC decoder configuration record: the sequence and picture
// parameter sets it carries, handed out by index. Plain functions over a heap
// context; every failure is a small negative result, nothing throws.
#pragma once

#include <cstdint>

namespace tlx::avc {

// Results of every avcCfg function.
inline constexpr int kAvcCfgOk = 0;
inline constexpr int kAvcCfgFormatError = -1;   // format error or bad argument value
inline constexpr int kAvcCfgNoMemory = -3;
inline constexpr int kAvcCfgNullArgument = -4;  // or an empty range
inline constexpr int kAvcCfgNotParsed = -5;     // the sequence parameter sets were not read
inline constexpr int kAvcCfgLengthError = -6;

// Kinds of parameter set.
inline constexpr int kAvcCfgSequence = 0;
inline constexpr int kAvcCfgPicture = 1;

// One parameter set; each list starts with an empty sentinel entry.
struct AvcCfgEntry {
  int length = 0;
  uint8_t* data = nullptr;  // owned
  AvcCfgEntry* next = nullptr;
};

// MSB-first reader over [start, end); bytes from the end on read as zero.
struct AvcCfgBitReader {
  const uint8_t* start = nullptr;
  const uint8_t* end = nullptr;
  uint64_t bitPosition = 0;  // bits read from start
};

struct AvcCfgContext {
  int spsCount = 0;
  int ppsCount = 0;
  int parsed = 0;  // 1 once the sequence parameter set list was read whole
  const uint8_t* recordStart = nullptr;
  int recordLength = 0;
  AvcCfgBitReader* reader = nullptr;
  int configurationVersion = 0;
  int profileIndication = 0;
  int profileCompatibility = 0;
  int levelIndication = 0;
  int lengthSizeMinusOne = 0;
  AvcCfgEntry spsList;
  AvcCfgEntry ppsList;
};

// 0; -4 for a null out pointer; -3 without memory.
int avcCfgCreate(AvcCfgContext** context);
// Frees the context, its lists and reader, and nulls the caller's pointer.
// Always 0; a null argument or context does nothing.
int avcCfgDestroy(AvcCfgContext** context);
// Reads the record. 0, or -4 (null or empty), -1 (reserved bits), -3, -6
// (lengths beyond the record: a set cut off by its end is not listed; or
// bytes left after the picture parameter sets: the lists are then complete
// and usable).
int avcCfgParse(AvcCfgContext* context, const uint8_t* start, int length);
// Count of sets of a kind (the low 16 bits are compared): 0; -4 null context
// or out pointer; -5 not parsed; -1 other kind.
int avcCfgGetCount(AvcCfgContext* context, int kind, int* count);
// Set number index (1-based; 0 gives null and length 0): 0; -1 beyond the
// list or other kind; -4 null context or out pointers.
int avcCfgGetParamSet(AvcCfgContext* context, int kind, int index, const uint8_t** data, int* length);

}  // namespace tlx::avc
