// The code column of remote-code files: the encoding chosen when writing, and
// the stages undone when reading (rcd_file.h names them).
//
// Writing, with the mode set by "eType:" (c1 1, c2 2, c3 3, base64 99; the
// default 3):
// - with a decoding key set, mode 99 writes "base64" and every other "hex";
// - without one, mode 2 writes "base64+c2" and every other "base64+c3": code
//   bytes that already begin with FF FF FF FF are taken as sealed and only
//   Base64-encoded, others are sealed first (c2 unkeyed, c3 with SesIf under
//   the encoding key; with an empty encoding key they are left unsealed).
// Reading, stage by stage: "c3" without a decoding key passes the data on;
// with one it opens a packet (marker, digest) or gives an empty code; "c2"
// opens an unkeyed packet or gives an empty code; "c1" and unknown stages
// give an empty code and end the chain.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr char kRcdRemoteCodeKey[] = "BrandolQuist";

// The codec's process-wide settings, set by options.
struct RcdCodecSettings {
  std::string encodingKey = kRcdRemoteCodeKey;
  std::string decodingKey;
  std::string modeName;  // what "eType:" gave
  int defaultMode = 3;
};

class RcdCodec {
 public:
  explicit RcdCodec(RcdCodecSettings& settings) : settings_(settings) {}
  virtual ~RcdCodec() = default;

  // "eType:<mode>", "AUX:<encoding key>" or "COM:<decoding key>"; other text
  // changes nothing.
  virtual void applyOption(std::string_view option);
  // The writing mode: the one "eType:" named, else the default.
  virtual int mode() const;
  // The "RCode-Encoding" the current mode and keys write.
  virtual std::string encodingName() const;
  // The code column for `n` code bytes. False for more than a seal holds
  // (65535 bytes).
  virtual bool encode(const uint8_t* code, size_t n, std::string& text) const;
  // The code bytes of a code column under a remote's "RCode-Encoding". A
  // 20-byte result of a "c3" chain read without a decoding key is an empty
  // code sealed: it gives no bytes.
  virtual std::vector<uint8_t> decode(std::string_view text, const std::string& encoding) const;

 private:
  RcdCodecSettings& settings_;
};
