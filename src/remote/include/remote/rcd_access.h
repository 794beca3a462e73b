// The remote-code file store: user remotes kept as ".rcd" files in one
// folder, read and written through flat functions with one process-wide last
// error. The file format is written down beside the reader and writer
// (src/remote/data/rcd_file.h).
//
// Reading: open, then for each remote in the file read its header, read codes
// until one fails (error 18 at the end of the list), read the checksum
// status; the next header read fails with 19 at the end of the file.
// Writing: open, write the header, each code, the checksum, close.
//
// The store's state (folder, enumeration, keys, encoding mode, last error) is
// unguarded: every call comes from the user-interface thread.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/tlx_export.h"
#include "win32/types.h"

// Last-error numbers.
enum RcdError : int {
  kRcdOk = 0,
  kRcdErrArgument = 1,      // an argument is null, or Name or Type of a header to write is empty
  kRcdErrPath = 2,          // the path does not fit 260 characters
  kRcdErrMemory = 3,        // out of memory
  kRcdErrAlreadyOpen = 8,   // the object already has an open file
  kRcdErrNotOpen = 9,       // the object has no open file
  kRcdErrOpen = 10,         // the file cannot be opened (other causes)
  kRcdErrRead = 11,         // reading failed before the end of the file
  kRcdErrWrite = 12,        // writing failed
  kRcdErrAccess = 13,       // access denied or read-only medium
  kRcdErrNotFound = 14,     // the file, or a folder of its path, does not exist
  kRcdErrDiskFull = 15,     // disk full
  kRcdErrContentType = 16,  // wrong "Content-Type"
  kRcdErrVersion = 17,      // a "Version" other than 1.0
  kRcdErrEndOfList = 18,    // a header line ended the list of codes
  kRcdErrEndOfFile = 19,    // end of the file
  kRcdErrRecordSize = 20,   // the code record's size is too small
  kRcdErrTooLong = 21,      // a code longer than 512 bytes, or a key too long or not writable
  kRcdErrChecksum = 22,     // checksum mismatch
};

inline constexpr int kRcdMaxPath = 260;
inline constexpr int kRcdMaxCode = 512;
// tlxRcdEnumFiles flag: return only files whose header passes the checks.
inline constexpr int kRcdEnumCheckHeader = 0x10;

using RcdHandle = void*;

// The original kept the pointers of these records in 32-bit words; they are
// widened to pointer size here. The reserve keeps the original's record of
// sixteen 32-bit words whole.

// Filled by tlxRcdReadHeader, cleared first. The texts point into the reader
// and stay valid until its next header or its close.
struct RcdHeaderInfo {
  int32_t version;  // major * 256 + minor
  const char16_t* name;
  const char* type;
  const char16_t* description;
  const char* makeId;
  const char16_t* makeName;
  const char* encoding;
  const char* guid;
  int32_t reserve[8];
};
static_assert(sizeof(RcdHeaderInfo) == 96);

// Given to tlxRcdWriteHeader. A null text leaves the writer's value as it is.
struct RcdHeaderInput {
  int32_t unused;
  const char16_t* name;
  const char* type;
  const char16_t* description;
  const char* makeId;
  const char16_t* makeName;
  const char* encoding;  // overrides the name the current encoding gives
  const char* guid;
};
static_assert(sizeof(RcdHeaderInput) == 64);

// One code. The caller sets size to sizeof(RcdCodeRecord).
struct RcdCodeRecord {
  int32_t size;
  char key[41];        // 1 to 40 characters "!" to "~" without ':', the first a letter or digit
  char16_t label[21];  // at most 20 units
  uint8_t code[kRcdMaxCode];  // zero behind the code
  int32_t length;
};
static_assert(sizeof(RcdCodeRecord) == 604);
static_assert(offsetof(RcdCodeRecord, key) == 4 && offsetof(RcdCodeRecord, label) == 46 &&
              offsetof(RcdCodeRecord, code) == 88 && offsetof(RcdCodeRecord, length) == 600);

// Filled by tlxRcdGetChecksumStatus, cleared first.
struct RcdChecksumStatus {
  int32_t flags;  // bit 0: the remote has a checksum line; bit 1: digest4 is valid
  uint8_t digest4[4];  // the first four digest bytes of the checksum line
  int32_t reserve[6];
};
static_assert(sizeof(RcdChecksumStatus) == 32);

// tlxRcdWriteChecksum flag: write the checksum line.
inline constexpr int kRcdWriteChecksumLine = 1;

extern "C" {

// The store's folder, ending in '/': the shared data folder (ALLUSERSPROFILE)
// followed by "TL/RC_DATA/". Valid until the process ends.
TLX_EXPORT const char16_t* tlxRcdFolder();

// A name holding '/', ':' or '\' is a path and is copied; a bare name is
// joined to the folder. FALSE when `out` (outCount characters) is too small.
TLX_EXPORT BOOL tlxRcdMakePath(const char16_t* name, char16_t* out, int outCount);

// The next ".rcd" file of the folder (any case of the extension, in byte
// order of the names), its path written to `out` (kRcdMaxPath characters):
// 1, or 0 when none is left (which ends the enumeration). With out null the
// enumeration ends and 0 is returned; -1 when the folder's path cannot be
// built (2). One enumeration runs in the process at a time.
TLX_EXPORT int tlxRcdEnumFiles(char16_t* out, int flags);

// A reader or writer of a name or path; null on failure (last error 1, 2, 3,
// 10, 13 or 14). A writer of a bare name creates the folder when missing.
TLX_EXPORT RcdHandle tlxRcdOpenRead(const char16_t* nameOrPath);
TLX_EXPORT RcdHandle tlxRcdOpenWrite(const char16_t* nameOrPath);
// Closes and frees a reader or writer; null is ignored.
TLX_EXPORT void tlxRcdClose(RcdHandle handle);

// "eType:" with "c1", "c2", "c3" or "base64" sets the writers' encoding
// (other text: the default); "AUX:" sets the encoding key, "COM:" the
// decoding key. Process-wide. 0, or -1 for a null argument (1).
TLX_EXPORT int tlxRcdSetOption(RcdHandle handle, const char* option);

TLX_EXPORT BOOL tlxRcdReadHeader(RcdHandle reader, RcdHeaderInfo* info);
TLX_EXPORT BOOL tlxRcdReadCode(RcdHandle reader, RcdCodeRecord* record);
TLX_EXPORT BOOL tlxRcdGetChecksumStatus(RcdHandle reader, RcdChecksumStatus* status);

TLX_EXPORT BOOL tlxRcdWriteHeader(RcdHandle writer, const RcdHeaderInput* input);
TLX_EXPORT BOOL tlxRcdWriteCode(RcdHandle writer, const RcdCodeRecord* record);
// Ends the remote: the empty line, then, with kRcdWriteChecksumLine, the
// checksum line.
TLX_EXPORT BOOL tlxRcdWriteChecksum(RcdHandle writer, const int* flags);

TLX_EXPORT int tlxRcdGetLastError();

}  // extern "C"
