#include "avc_config_record.h"

#include <algorithm>
#include <new>

namespace tlx::avc {
namespace {

// The parameter sets begin after five header bytes and the count fields.
constexpr int kRecordHeaderBytes = 5;

void ReaderStart(AvcCfgBitReader* reader, const uint8_t* start, const uint8_t* end) {
  reader->start = start;
  reader->end = end;
  reader->bitPosition = 0;
}

// The next n bits (1..32), MSB first. Bytes are loaded one at a time, so
// nothing outside the record is touched.
uint32_t ReaderRead(AvcCfgBitReader* reader, int n) {
  const uint64_t available = static_cast<uint64_t>(reader->end - reader->start) * 8;
  uint32_t value = 0;
  for (int i = 0; i < n; ++i, ++reader->bitPosition) {
    uint32_t bit = 0;
    if (reader->bitPosition < available) {
      const uint8_t byte = reader->start[reader->bitPosition / 8];
      bit = (byte >> (7 - reader->bitPosition % 8)) & 1;
    }
    value = (value << 1) | bit;
  }
  return value;
}

// The address of the byte holding the next unread bit: 0, or -1 (and the end)
// once bits beyond the end were read.
int ReaderPosition(const AvcCfgBitReader* reader, const uint8_t** address, int* bitsRead) {
  const uint64_t available = static_cast<uint64_t>(reader->end - reader->start) * 8;
  if (reader->bitPosition > available) {
    *address = reader->end;
    *bitsRead = 0;
    return -1;
  }
  *address = reader->start + reader->bitPosition / 8;
  *bitsRead = static_cast<int>(reader->bitPosition % 8);
  return 0;
}

void FreeList(AvcCfgEntry* sentinel) {
  AvcCfgEntry* entry = sentinel->next;
  while (entry != nullptr) {
    AvcCfgEntry* next = entry->next;
    delete[] entry->data;
    delete entry;
    entry = next;
  }
  sentinel->next = nullptr;
}

// Reads count sets into the list; the lengths together may not exceed the
// record's length less its header.
int ReadSets(AvcCfgContext* context, AvcCfgEntry* sentinel, int count) {
  AvcCfgEntry* tail = sentinel;
  while (tail->next != nullptr) tail = tail->next;
  int64_t sum = 0;
  for (int i = 0; i < count; ++i) {
    const int length = static_cast<int>(ReaderRead(context->reader, 16));
    sum += length;
    if (sum > context->recordLength - kRecordHeaderBytes) return kAvcCfgLengthError;
    // A set cut off by the end of the record is not handed out zero-filled.
    const uint64_t bitsLeft =
        static_cast<uint64_t>(context->recordLength) * 8 - std::min<uint64_t>(context->reader->bitPosition,
                                                                               uint64_t(context->recordLength) * 8);
    if (static_cast<uint64_t>(length) * 8 > bitsLeft) return kAvcCfgLengthError;
    auto* entry = new (std::nothrow) AvcCfgEntry;
    if (entry == nullptr) return kAvcCfgNoMemory;
    entry->data = new (std::nothrow) uint8_t[length > 0 ? length : 1];
    if (entry->data == nullptr) {
      delete entry;
      return kAvcCfgNoMemory;
    }
    entry->length = length;
    for (int b = 0; b < length; ++b) entry->data[b] = static_cast<uint8_t>(ReaderRead(context->reader, 8));
    tail->next = entry;
    tail = entry;
  }
  return kAvcCfgOk;
}

AvcCfgEntry* ListOf(AvcCfgContext* context, int kind) {
  switch (kind & 0xFFFF) {
    case kAvcCfgSequence:
      return &context->spsList;
    case kAvcCfgPicture:
      return &context->ppsList;
    default:
      return nullptr;
  }
}

}  // namespace

int avcCfgCreate(AvcCfgContext** context) {
  if (context == nullptr) return kAvcCfgNullArgument;
  *context = nullptr;
  auto* created = new (std::nothrow) AvcCfgContext;
  if (created == nullptr) return kAvcCfgNoMemory;
  created->reader = new (std::nothrow) AvcCfgBitReader;
  if (created->reader == nullptr) {
    delete created;
    return kAvcCfgNoMemory;
  }
  *context = created;
  return kAvcCfgOk;
}

int avcCfgDestroy(AvcCfgContext** context) {
  if (context == nullptr || *context == nullptr) return kAvcCfgOk;
  FreeList(&(*context)->spsList);
  FreeList(&(*context)->ppsList);
  delete (*context)->reader;
  delete *context;
  *context = nullptr;
  return kAvcCfgOk;
}

int avcCfgParse(AvcCfgContext* context, const uint8_t* start, int length) {
  if (context == nullptr || start == nullptr || length <= 0) return kAvcCfgNullArgument;
  context->recordStart = start;
  context->recordLength = length;
  AvcCfgBitReader* reader = context->reader;
  ReaderStart(reader, start, start + length);
  context->configurationVersion = static_cast<int>(ReaderRead(reader, 8));
  context->profileIndication = static_cast<int>(ReaderRead(reader, 8));
  context->profileCompatibility = static_cast<int>(ReaderRead(reader, 8));
  context->levelIndication = static_cast<int>(ReaderRead(reader, 8));
  if (ReaderRead(reader, 6) != 0x3F) return kAvcCfgFormatError;
  context->lengthSizeMinusOne = static_cast<int>(ReaderRead(reader, 2));
  if (ReaderRead(reader, 3) != 7) return kAvcCfgFormatError;
  context->spsCount = static_cast<int>(ReaderRead(reader, 5));
  const int spsResult = ReadSets(context, &context->spsList, context->spsCount);
  if (spsResult != kAvcCfgOk) return spsResult;
  context->parsed = 1;
  context->ppsCount = static_cast<int>(ReaderRead(reader, 8));
  const int ppsResult = ReadSets(context, &context->ppsList, context->ppsCount);
  if (ppsResult != kAvcCfgOk) return ppsResult;
  const uint8_t* position = nullptr;
  int bitsRead = 0;
  if (ReaderPosition(reader, &position, &bitsRead) != 0 || position < start + length) return kAvcCfgLengthError;
  return kAvcCfgOk;
}

int avcCfgGetCount(AvcCfgContext* context, int kind, int* count) {
  if (context == nullptr || count == nullptr) return kAvcCfgNullArgument;
  if (!context->parsed) return kAvcCfgNotParsed;
  switch (kind & 0xFFFF) {
    case kAvcCfgSequence:
      *count = context->spsCount;
      return kAvcCfgOk;
    case kAvcCfgPicture:
      *count = context->ppsCount;
      return kAvcCfgOk;
    default:
      return kAvcCfgFormatError;
  }
}

int avcCfgGetParamSet(AvcCfgContext* context, int kind, int index, const uint8_t** data, int* length) {
  if (context == nullptr || data == nullptr || length == nullptr) return kAvcCfgNullArgument;
  const AvcCfgEntry* entry = ListOf(context, kind);
  if (entry == nullptr || index < 0) return kAvcCfgFormatError;
  for (int i = 0; i < index; ++i) {
    entry = entry->next;
    if (entry == nullptr) return kAvcCfgFormatError;
  }
  *data = entry->data;
  *length = entry->length;
  return kAvcCfgOk;
}

}  // namespace tlx::avc
