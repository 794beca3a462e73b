// The AAC decoder core: turns raw AAC-LC access units (no ADTS header), one
// per call, into frames of 1024 interleaved 16-bit samples per output
// channel. Plain C calls; a negative result means failure. The caller keeps
// the calls of one handle on one thread at a time.
#pragma once

#include "export/tlx_export.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void* AacDecHandle;

// Samples per channel in every frame the core writes.
#define AACDEC_FRAME_SAMPLES 1024
// The largest access unit the stream format allows, per input channel.
#define AACDEC_MAX_UNIT_BYTES_PER_CHANNEL 768

// Makes a closed instance and stores it in *handle.
TLX_EXPORT int aacDecCreateInstance(AacDecHandle* handle);

// Opens the decoder for a stream of *channels channels (1 to 6, or 8) at
// *sampleRate Hz with *sampleBits bits per output sample (16 only). The four
// reserved arguments are ignored (callers pass 0, 0, 0, 1), and nothing is
// written back through the pointers.
//
// Output channels: downMix when it is positive, else *channels. The mixes are
// 6 -> 2 (centre and back at -3 dB, LFE dropped, scaled so full scale cannot
// clip), 6 -> 1 (the mean of that pair), 2 -> 1 (the mean) and 1 -> 2 (the
// same samples twice). With reorderCount > 0, output channel k takes channel
// order[k] for k < reorderCount. Without it, six channels come out as
// FL FR FC LFE BL BR.
//
// Fails for another sample size, a channel count or mix not listed, a
// reorderCount beyond the output channels, an order entry outside them, a
// handle already open, or when the decoder cannot be opened.
TLX_EXPORT int aacDecInit(AacDecHandle handle, int* channels, int* sampleBits, int* sampleRate, int* unused1,
                              int* unused2, int reserved0, int reserved1, int reserved2, int reserved3, int downMix,
                              int reorderCount, const int* order);

// For an open instance: *inputBytes = the largest access unit (768 bytes per
// input channel), *outputBytes = the bytes of one output frame (2048 per
// output channel), *consumed = *written = 0.
TLX_EXPORT int aacDecGetInfo(AacDecHandle handle, int* inputBytes, int* outputBytes, int* consumed, int* written);

// Decodes the `length` bytes at `input` as one access unit (no byte after
// them is read) and writes exactly one frame to `output`, whose room
// `outputBytes` must hold it. A unit that does not decode to one 1024-sample
// frame (damaged, truncated, longer than inputBytes, or not AAC-LC) gives a
// frame of silence and still succeeds, so one bad unit costs one frame.
// *consumed = length, *written = the frame's bytes; result 0. Fails (and
// writes nothing) only for a closed instance, null pointers, or too little
// room.
TLX_EXPORT int aacDecMain(AacDecHandle handle, const unsigned char* input, int inputBytes, int* consumed,
                              unsigned char* output, int outputBytes, int* written, int length);

// Closes the decoder; the instance can be opened again.
TLX_EXPORT int aacDecExit(AacDecHandle handle);

// Frees the instance (closing it first when open) and clears *handle.
TLX_EXPORT int aacDecReleaseInstance(AacDecHandle* handle);

#ifdef __cplusplus
}
#endif
