// The decode path behind Mpeg4DecAFrame and the two look functions: walking
// the start codes of one input, handing headers to their parsers, decoding a
// picture packet by packet, and reporting the bytes used.
#pragma once

#include <cstdint>

#include "filters/mpeg4/core/decoder_api.h"

namespace tlx::mpeg4 {

struct Mpeg4Decoder;

// Decodes what one input holds: the headers before a picture, then one VOP
// (or a short-header picture, or the end marker), filling the out fields of
// `frame` and returning the call's status.
uint32_t DecodeFrame(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame);

// Parses the sequence header at the start of the input (a layer header, or a
// short-header picture's header) and reports its size in `frame`.
uint32_t LookSequenceHeader(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame);

// Parses the next picture header (after the sequence header, when none was
// seen yet) and reports its kind and time, without decoding the picture.
uint32_t LookPictureHeader(Mpeg4Decoder& decoder, Mpeg4DecFrame& frame);

// Decodes the macroblocks of one video packet of the current VOP.
void DecodeVopData(Mpeg4Decoder& decoder);

// At a resync marker: reads the packet header, conceals the macroblocks the
// packet skips over and resets the predictors for the new packet.
void ReadVideoPacketHeader(Mpeg4Decoder& decoder);

// Decodes one group of blocks of a short-header picture: its header (after
// the first group), then macroblocks up to the group's end, the next group
// start code or the end of the data, and moves to the next group.
void DecodeShortHeaderGobs(Mpeg4Decoder& decoder);

}  // namespace tlx::mpeg4
