// The message seal: FF FF FF FF, then the header (length low byte first) and
// the masked payload padded with zeros to the block transform's block size
// and run through it. Opening does not look at the first four bytes and cuts
// a length larger than the data to the data present.
//
// The block transform is a parameter, so that every user of this layout
// (the remote commands here, the remote-code files of the remote control)
// plugs in its own; the key-text forms use SesBlockFilter.
#pragma once

#include <cstddef>

#include "ses/ses_bytes.h"
#include "ses/ses_cipher.h"

class SesMessage {
 public:
  // Seals `length` (at most 65535) payload bytes into `out`. False for a
  // longer payload or when the transform fails.
  static bool seal(const void* payload, size_t length, const SesBlockTransform& transform,
                   SesBytes& out);
  static bool seal(const void* payload, size_t length, const char* keyText, SesBytes& out);

  // Opens n sealed bytes into `payload`. False for n below 20 or when the
  // digest does not match.
  static bool open(const void* data, size_t n, const SesBlockTransform& transform,
                   SesBytes& payload);
  static bool open(const void* data, size_t n, const char* keyText, SesBytes& payload);
};
