// Media types: the AM_MEDIA_TYPE record, the format blocks it carries, and
// CMediaType, which owns its format block.
#pragma once

#include <cstddef>

#include "com/unknown.h"
#include "dshow/guids.h"
#include "win32/rect.h"
#include "win32/wave_format.h"

using REFERENCE_TIME = LONGLONG;  // 100-ns units
using REFTIME = double;           // seconds

struct AM_MEDIA_TYPE {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;  // CoTaskMemAlloc'ed, cbFormat bytes
};

// Format blocks. They cross module boundaries byte for byte, so their layouts
// are fixed and checked.
struct BITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
};
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(offsetof(BITMAPINFOHEADER, biCompression) == 16 && offsetof(BITMAPINFOHEADER, biClrImportant) == 36);

inline constexpr DWORD BI_RGB = 0;
inline constexpr DWORD BI_BITFIELDS = 3;

struct VIDEOINFOHEADER {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER) == 88);
static_assert(offsetof(VIDEOINFOHEADER, AvgTimePerFrame) == 40 && offsetof(VIDEOINFOHEADER, bmiHeader) == 48);

struct VIDEOINFOHEADER2 {
  RECT rcSource;
  RECT rcTarget;
  DWORD dwBitRate;
  DWORD dwBitErrorRate;
  REFERENCE_TIME AvgTimePerFrame;
  DWORD dwInterlaceFlags;
  DWORD dwCopyProtectFlags;
  DWORD dwPictAspectRatioX;
  DWORD dwPictAspectRatioY;
  DWORD dwControlFlags;  // also known as dwReserved1
  DWORD dwReserved2;
  BITMAPINFOHEADER bmiHeader;
};
static_assert(sizeof(VIDEOINFOHEADER2) == 112);
static_assert(offsetof(VIDEOINFOHEADER2, dwPictAspectRatioX) == 56 && offsetof(VIDEOINFOHEADER2, bmiHeader) == 72);

#pragma pack(push, 1)
struct WAVEFORMATEXTENSIBLE {
  WAVEFORMATEX Format;
  union {
    WORD wValidBitsPerSample;
    WORD wSamplesPerBlock;
    WORD wReserved;
  } Samples;
  DWORD dwChannelMask;
  GUID SubFormat;
};
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == 20 && offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24);
#pragma pack(pop)

// Raw AAC access units (MEDIASUBTYPE_TlxAAC); the format block carries the
// AudioSpecificConfig after the WAVEFORMATEX.
inline constexpr WORD WAVE_FORMAT_TLX_AAC = 0x0278;

// A four-character code as bitmap headers and codec tags carry it: the first
// character in the low byte.
constexpr DWORD MAKEFOURCC(char a, char b, char c, char d) {
  return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
         (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) | (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}
// The media subtype of a four-character code (or wave-format tag): the code
// in the first field of the base GUID {XXXXXXXX-0000-0010-8000-00AA00389B71}.
constexpr GUID FourccSubtype(DWORD fourcc) {
  return GUID{fourcc, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

// The smallest format block a format type needs: the fixed header, plus what
// the header announces after it: for a video header with BI_BITFIELDS the
// three colour masks; for a wave format the cbSize bytes, and at least the
// extended record when its tag is WAVE_FORMAT_EXTENSIBLE. 0 for types without
// a block.
ULONG MinimumFormatSize(REFGUID formattype, const BYTE* format, ULONG size);
// True when the format block is present where its type needs one and is long
// enough for it, so that it can be read as that type.
bool IsFormatBlockValid(const AM_MEDIA_TYPE& mt);

// Helpers over the record; the copies own their format block (task memory).
void FreeMediaType(AM_MEDIA_TYPE& mt);
HRESULT CopyMediaType(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* source);  // null when out of memory
void DeleteMediaType(AM_MEDIA_TYPE* mt);

// An AM_MEDIA_TYPE that owns its format block and its object reference.
class CMediaType : public AM_MEDIA_TYPE {
 public:
  CMediaType();
  explicit CMediaType(const GUID* majortype);
  CMediaType(const AM_MEDIA_TYPE& other);  // NOLINT: converts like the record it extends
  CMediaType(const CMediaType& other);
  CMediaType& operator=(const AM_MEDIA_TYPE& other);
  CMediaType& operator=(const CMediaType& other);
  ~CMediaType();

  // Compares types, subtypes, format types and format bytes.
  bool operator==(const CMediaType& other) const;
  bool operator!=(const CMediaType& other) const { return !(*this == other); }

  HRESULT Set(const AM_MEDIA_TYPE& other);
  bool IsValid() const { return majortype != GUID_NULL; }

  const GUID* Type() const { return &majortype; }
  void SetType(const GUID* type) { majortype = *type; }
  const GUID* Subtype() const { return &subtype; }
  void SetSubtype(const GUID* type) { subtype = *type; }
  const GUID* FormatType() const { return &formattype; }
  void SetFormatType(const GUID* type) { formattype = *type; }
  bool IsFixedSize() const { return bFixedSizeSamples != FALSE; }
  bool IsTemporalCompressed() const { return bTemporalCompression != FALSE; }
  ULONG GetSampleSize() const { return IsFixedSize() ? lSampleSize : 0; }
  void SetSampleSize(ULONG size);  // 0 makes samples variable-sized
  void SetVariableSize() { bFixedSizeSamples = FALSE; }
  void SetTemporalCompression(BOOL compressed) { bTemporalCompression = compressed; }

  BYTE* Format() const { return pbFormat; }
  ULONG FormatLength() const { return cbFormat; }
  // Replaces the format block with a copy of `size` bytes.
  bool SetFormat(const BYTE* format, ULONG size);
  // Makes room for `size` bytes (zeroed when new); null when out of memory.
  BYTE* AllocFormatBuffer(ULONG size);
  BYTE* ReallocFormatBuffer(ULONG size);
  void ResetFormatBuffer();

  // Does `partial` (whose null GUIDs match anything) match this type?
  bool MatchesPartial(const CMediaType* partial) const;
  bool IsPartiallySpecified() const;

 private:
  void Clear();
};
