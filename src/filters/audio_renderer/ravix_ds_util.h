// The renderer's sound output and queues: the device with its primary buffer,
// the stream buffer (a looping secondary buffer of equal blocks, refilled one
// block at a time behind the play cursor, with an event per block), and a byte
// FIFO over a ring whose reader and writer block on two events.
#pragma once

#include <atomic>
#include <vector>

#include "dsound/dsound.h"

// What the stream buffer asks of its owner.
struct IBlockSource {
  // Fills one block; sizeRead says how much was filled.
  virtual HRESULT Fill(BYTE* buffer, UINT size, UINT* sizeRead) = 0;
  // The block at `offset` has been written.
  virtual HRESULT Notify(UINT offset) = 0;
  virtual const WAVEFORMATEX* GetFormat() = 0;

 protected:
  ~IBlockSource() = default;
};

class CDsStreamBuffer {
 public:
  // Takes over `buffer` (one reference) of `totalBytes` bytes.
  CDsStreamBuffer(IDirectSoundBuffer* buffer, IBlockSource* callback, UINT blockSize, UINT totalBytes);
  ~CDsStreamBuffer();
  CDsStreamBuffer(const CDsStreamBuffer&) = delete;
  CDsStreamBuffer& operator=(const CDsStreamBuffer&) = delete;

  // 1 when the buffer is not lost; else restores it, sets `restored` and
  // gives 0; a failing status query gives its code.
  HRESULT RestoreIfLost(bool* restored);
  // Zeroes the whole buffer.
  HRESULT Clear();
  // Writes from offset 0 again and moves the play cursor there.
  HRESULT Reset();
  HRESULT Start();
  // Fills the block at the write offset through the callback and tells it;
  // a buffer found lost is restored and cleared and the block skipped.
  // E_UNEXPECTED when the block wraps the buffer's end, E_FAIL when the
  // callback fills less than a block.
  HRESULT FillNextBlock();
  HRESULT Stop();

  IDirectSoundBuffer* Buffer() const { return m_pBuffer; }
  UINT WriteOffset() const { return m_writeOffset; }

 private:
  IDirectSoundBuffer* m_pBuffer;
  const UINT m_totalBytes;
  IBlockSource* const m_pCallback;
  const UINT m_blockSize;
  UINT m_writeOffset = 0;
};

class CDsDevice {
 public:
  CDsDevice() = default;
  ~CDsDevice() { Close(); }
  CDsDevice(const CDsDevice&) = delete;
  CDsDevice& operator=(const CDsDevice&) = delete;

  HRESULT Open(HWND window, DWORD level);
  // CO_E_NOTINITIALIZED without a device or format.
  HRESULT SetPrimaryFormat(const WAVEFORMATEX* format);
  // A stream buffer of `count` blocks of `blockSize` bytes in the callback's
  // format, whose block k sets events[k] once its last byte has played.
  HRESULT CreateStreamBuffer(CDsStreamBuffer** out, IBlockSource* callback, DWORD flags, UINT count,
                             UINT blockSize, const HANDLE* events);
  void Close();

 private:
  IDirectSound8* m_pDS = nullptr;
};

// A ring of `capacity` bytes with one writer and one reader; each index is
// moved by its own side only (Discard moves the reader's).
class CByteRing {
 public:
  // 1 when the storage cannot be had.
  int Create(UINT capacity);
  UINT Write(const BYTE* src, UINT len);
  UINT Peek(BYTE* dst, UINT len) const;
  // Drops up to n bytes from the head; returns how many.
  UINT Discard(UINT n);
  UINT Used() const;
  UINT Free() const { return m_capacity - Used(); }

 private:
  std::vector<BYTE> m_storage;  // capacity + 1: one byte always stays empty
  UINT m_capacity = 0;
  std::atomic<UINT> m_read{0};
  std::atomic<UINT> m_write{0};
};

class CBlockingFifo {
 public:
  CBlockingFifo() = default;
  ~CBlockingFifo() { Close(); }
  CBlockingFifo(const CBlockingFifo&) = delete;
  CBlockingFifo& operator=(const CBlockingFifo&) = delete;

  int Create(UINT capacity);
  // Writes all len bytes, waiting for space as needed.
  UINT Write(const BYTE* src, UINT len);
  // Reads len bytes, waiting for data as needed.
  UINT Read(BYTE* dst, UINT len);
  // Drops up to n bytes from the head without signalling; returns how many.
  UINT Discard(UINT n) { return m_ring.Discard(n); }
  // 0xFFFFFFFF before Create.
  UINT GetUsed() const;
  void Close();

 private:
  HANDLE m_dataEvent = nullptr;
  HANDLE m_spaceEvent = nullptr;
  CByteRing m_ring;
  bool m_created = false;
};
