// Remote-code files (".rcd"): the format, and the part its reader and writer
// share.
//
// A file is text of one or more remotes. Each remote is:
//   header lines "Name: value" (the name in any case, blanks after the colon
//     skipped, trailing characters of code 32 or less cut), beginning with
//     "Content-Type: application/x-rmc-data; charset=utf-8"; "Version" must
//     be 1.0 ("" and "1" count as 1.0); then Name, Type, Description,
//     Make-Id, Make-Name, RCode-Encoding and GUID (Name, Description and
//     Make-Name are UTF-8). Lines starting with '#' or ';' are comments;
//     lines not starting with a letter, without a colon or of another field
//     are ignored;
//   an empty line;
//   code lines "key<TAB>label<TAB>code": the key 1 to 40 characters from '!'
//     to '~' without ':', the label UTF-8 (20 UTF-16 units kept), the code
//     column encoded as "RCode-Encoding" names (below). Empty, comment and
//     foreign lines between them are skipped; a line in which a ':' comes
//     before any character outside '!' to '~' is a header line and ends the
//     list;
//   an empty line and "Checksum: " followed by 16 hexadecimal digits of an
//     8-byte salt and 32 of the MD5 digest (lowercase). The digest runs over
//     every line of the remote from "Content-Type" to the line before
//     "Checksum", each without its line end, then the salt, then the secret
//     "7mqRtaWz". A remote without the line passes unchecked.
// Lines end in CR LF (written) or LF; the reader reads a line of more than
// 4095 bytes as several. A UTF-8 byte-order mark at the start is skipped.
//
// RCode-Encoding names stages joined by '+', in the order they were applied
// when writing: "hex" (two uppercase digits a byte, blanks between),
// "base64", "c2" and "c3" (the sealed packet: FF FF FF FF, then 8 random
// bytes R, the length as 16 bits low byte first, two zero bytes and the first
// 4 bytes of the code's MD5, then the code masked with R; for "c3" all behind
// the marker is zero-padded to 16 bytes and run through SesIf keyed with the
// encoding key). Readers undo the stages in order; "c1" and unknown stages
// give an empty code. See rcd_codec.h for the choice when writing.
#pragma once

#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

inline constexpr char kRcdContentType[] = "application/x-rmc-data; charset=utf-8";
inline constexpr char kRcdChecksumSecret[] = "7mqRtaWz";
inline constexpr size_t kRcdSaltSize = 8;
inline constexpr size_t kRcdLineBuffer = 4096;
inline constexpr size_t kRcdMaxKey = 40;
inline constexpr size_t kRcdMaxLabel = 20;

// The values of a remote's header as they are kept in memory.
struct RcdHeaderValues {
  std::string contentType;
  std::string version;
  std::u16string name;
  std::string type;
  std::u16string description;
  std::string makeId;
  std::u16string makeName;
  std::string encoding;
  std::string guid;
};

// The errno of a failed open, read or write as the store's error number;
// `otherwise` for causes the store has no number for.
int rcdErrorOfErrno(int error, int otherwise);

class RcdFile {
 public:
  RcdFile();
  virtual ~RcdFile();
  RcdFile(const RcdFile&) = delete;
  RcdFile& operator=(const RcdFile&) = delete;

  // Opens the file at a UTF-8 path; false with the error set.
  virtual bool open(const std::string& path) = 0;
  // Closes the file; a closed object stays closed.
  virtual void close();
  // Starts the digest of a remote.
  virtual void startChecksum();

  bool isOpen() const { return file_ != nullptr; }
  int lastError() const { return lastError_; }
  const RcdHeaderValues& values() const { return values_; }
  RcdHeaderValues& values() { return values_; }

 protected:
  // Sets the object's error; returns false for the caller's convenience.
  bool fail(int error) {
    lastError_ = error;
    return false;
  }
  // Clears the object's error; returns true.
  bool succeed() {
    lastError_ = 0;
    return true;
  }
  // Opens the file with an fopen mode; false with the error set.
  bool openFile(const std::string& path, const char* mode);
  // Feeds bytes to the running digest.
  void feed(const void* bytes, size_t n);
  // The digest of what was fed, then the salt and the secret; the running
  // digest is left as it was.
  std::string finalDigestHex(const uint8_t salt[kRcdSaltSize]) const;
  // The running digest saved before a line and put back when the line is not
  // the remote's.
  void saveDigest();
  void restoreDigest();

  FILE* file() const { return file_; }

  RcdHeaderValues values_;
  std::string checksumText_;
  uint8_t salt_[kRcdSaltSize] = {};

 private:
  FILE* file_ = nullptr;
  int lastError_ = 0;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> digest_;
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> saved_;
};
