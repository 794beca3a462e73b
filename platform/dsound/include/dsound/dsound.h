// Sound output with looping buffers under the Windows names: a device
// (IDirectSound8), its primary buffer, which only takes the output format, and
// secondary buffers, each a looping ring of PCM bytes that plays on its own
// output stream, with position notifications through event handles.
//
// A secondary buffer plays 16-bit PCM of one, two or six channels (5.1 in the
// order FL FR FC LFE BL BR, which SDL audio opens as 5.1). Its play cursor
// runs from 0 and wraps; the bytes under the cursor play whether or not they
// were rewritten since the last lap, and a stopped buffer plays silence and
// holds its cursor. GetCurrentPosition, SetVolume and GetVolume may be called
// from any thread; the other calls come from the one thread that feeds the
// buffer.
#pragma once

#include "com/unknown.h"
#include "win32/types.h"
#include "win32/wave_format.h"

// Result codes.
inline constexpr HRESULT DS_OK = S_OK;
inline constexpr HRESULT DSERR_ALLOCATED = static_cast<HRESULT>(0x8878000A);
inline constexpr HRESULT DSERR_INVALIDCALL = static_cast<HRESULT>(0x88780032);
inline constexpr HRESULT DSERR_BADFORMAT = static_cast<HRESULT>(0x88780064);
inline constexpr HRESULT DSERR_NODRIVER = static_cast<HRESULT>(0x88780078);
inline constexpr HRESULT DSERR_BUFFERLOST = static_cast<HRESULT>(0x88780096);
inline constexpr HRESULT DSERR_INVALIDPARAM = E_INVALIDARG;
inline constexpr HRESULT DSERR_OUTOFMEMORY = E_OUTOFMEMORY;
inline constexpr HRESULT DSERR_NOAGGREGATION = CLASS_E_NOAGGREGATION;
inline constexpr HRESULT DSERR_NOINTERFACE = E_NOINTERFACE;

// Cooperative levels. The level and its window have no effect here.
inline constexpr DWORD DSSCL_NORMAL = 1;
inline constexpr DWORD DSSCL_PRIORITY = 2;

// Buffer capabilities (DSBUFFERDESC::dwFlags).
inline constexpr DWORD DSBCAPS_PRIMARYBUFFER = 0x00000001;
inline constexpr DWORD DSBCAPS_STATIC = 0x00000002;
inline constexpr DWORD DSBCAPS_LOCHARDWARE = 0x00000004;
inline constexpr DWORD DSBCAPS_LOCSOFTWARE = 0x00000008;
inline constexpr DWORD DSBCAPS_CTRLVOLUME = 0x00000080;
inline constexpr DWORD DSBCAPS_CTRLPOSITIONNOTIFY = 0x00000100;
inline constexpr DWORD DSBCAPS_GLOBALFOCUS = 0x00008000;
inline constexpr DWORD DSBCAPS_GETCURRENTPOSITION2 = 0x00010000;

inline constexpr DWORD DSBPLAY_LOOPING = 0x00000001;

inline constexpr DWORD DSBSTATUS_PLAYING = 0x00000001;
inline constexpr DWORD DSBSTATUS_BUFFERLOST = 0x00000002;
inline constexpr DWORD DSBSTATUS_LOOPING = 0x00000004;

inline constexpr DWORD DSBLOCK_FROMWRITECURSOR = 0x00000001;
inline constexpr DWORD DSBLOCK_ENTIREBUFFER = 0x00000002;

// Volume in hundredths of a decibel; the samples are scaled by 10^(v/2000).
inline constexpr LONG DSBVOLUME_MIN = -10000;
inline constexpr LONG DSBVOLUME_MAX = 0;

// Secondary buffer sizes in bytes.
inline constexpr DWORD DSBSIZE_MIN = 4;
inline constexpr DWORD DSBSIZE_MAX = 0x0FFFFFFF;

// The original record is 36 bytes with a 32-bit format pointer; here the
// pointer is pointer-sized, so dwSize must be sizeof(DSBUFFERDESC).
struct DSBUFFERDESC {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwBufferBytes;  // 0 for the primary buffer
  DWORD dwReserved;
  const WAVEFORMATEX* lpwfxFormat;  // null for the primary buffer
  GUID guid3DAlgorithm;
};

struct DSBPOSITIONNOTIFY {
  DWORD dwOffset;
  HANDLE hEventNotify;
};

// {279AFA85-4981-11CE-A521-0020AF0BE560}
inline constexpr IID IID_IDirectSoundBuffer{0x279AFA85, 0x4981, 0x11CE, {0xA5, 0x21, 0x00, 0x20, 0xAF, 0x0B, 0xE5, 0x60}};
// {B0210783-89CD-11D0-AF08-00A0C925CD16}
inline constexpr IID IID_IDirectSoundNotify{0xB0210783, 0x89CD, 0x11D0, {0xAF, 0x08, 0x00, 0xA0, 0xC9, 0x25, 0xCD, 0x16}};
// {C50A7E93-F395-4834-9EF6-7FA99DE50966}
inline constexpr IID IID_IDirectSound8{0xC50A7E93, 0xF395, 0x4834, {0x9E, 0xF6, 0x7F, 0xA9, 0x9D, 0xE5, 0x09, 0x66}};

struct IDirectSoundBuffer : IUnknown {
  // DSBSTATUS_* bits.
  STDMETHOD(GetStatus)(DWORD* status) PURE;
  // The play cursor (0..size-1) and the write cursor, behind which nothing
  // has been handed to the output yet. Either pointer may be null.
  STDMETHOD(GetCurrentPosition)(DWORD* playCursor, DWORD* writeCursor) PURE;
  // Gives `bytes` bytes from `offset` for writing: a second region only when
  // they wrap past the end. What is written counts from Unlock on.
  STDMETHOD(Lock)(DWORD offset, DWORD bytes, void** audio1, DWORD* bytes1, void** audio2, DWORD* bytes2,
                  DWORD flags) PURE;
  STDMETHOD(Unlock)(void* audio1, DWORD bytes1, void* audio2, DWORD bytes2) PURE;
  STDMETHOD(Play)(DWORD reserved, DWORD priority, DWORD flags) PURE;
  STDMETHOD(Stop)() PURE;
  STDMETHOD(SetCurrentPosition)(DWORD position) PURE;
  // DSERR_INVALIDPARAM outside DSBVOLUME_MIN..DSBVOLUME_MAX.
  STDMETHOD(SetVolume)(LONG volume) PURE;
  STDMETHOD(GetVolume)(LONG* volume) PURE;
  // Primary buffer only.
  STDMETHOD(SetFormat)(const WAVEFORMATEX* format) PURE;
  STDMETHOD(Restore)() PURE;

 protected:
  ~IDirectSoundBuffer() = default;
};
using LPDIRECTSOUNDBUFFER = IDirectSoundBuffer*;

struct IDirectSoundNotify : IUnknown {
  // Each event is set whenever the play cursor passes its offset, once per
  // lap; a stopped buffer only. Replaces the previous positions.
  STDMETHOD(SetNotificationPositions)(DWORD count, const DSBPOSITIONNOTIFY* positions) PURE;

 protected:
  ~IDirectSoundNotify() = default;
};

struct IDirectSound8 : IUnknown {
  STDMETHOD(CreateSoundBuffer)(const DSBUFFERDESC* desc, IDirectSoundBuffer** buffer, IUnknown* outer) PURE;
  // Accepts any window, null included, and any level; has no effect.
  STDMETHOD(SetCooperativeLevel)(HWND window, DWORD level) PURE;

 protected:
  ~IDirectSound8() = default;
};
using LPDIRECTSOUND8 = IDirectSound8*;

// Opens the default output device (`device` must be null). DSERR_NODRIVER
// when sound output cannot be started.
extern "C" HRESULT DirectSoundCreate8(const GUID* device, IDirectSound8** sound, IUnknown* outer);
