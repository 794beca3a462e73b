// The reader of remote-code files (format: rcd_file.h).
#pragma once

#include <string>
#include <string_view>

#include "remote/data/rcd_file.h"
#include "remote/rcd_access.h"

class RcdReader : public RcdFile {
 public:
  // Opens for reading and reads the first line ahead, its byte-order mark
  // removed. Errors 8, 10, 13, 14.
  bool open(const std::string& path) override;
  // Empties the header values and the checksum text.
  virtual void resetHeader();
  // Skips to the next "Content-Type" line, starts the digest there and reads
  // the header up to its empty line (or the end of the file). Errors 9, 11,
  // 16, 17, 19.
  virtual bool readHeader();
  // The next code line's key (at most 40 characters), label (at most 20
  // units) and code column. Error 18 when a header line ends the list (the
  // line is kept for the checksum step and not digested), 19 at the end of
  // the file, 11, 9, and 21 for a key of 42 characters or more (the line is
  // consumed, so reading can go on).
  virtual bool readEntry(std::string& key, std::u16string& label, std::string& code);
  // Reads the lines after the list up to an empty line, the next remote's
  // "Content-Type" (kept for the next header) or the end of the file, fills
  // the status (cleared first) and compares the digest. Errors 9, 11, 22.
  virtual bool readChecksum(RcdChecksumStatus& status);

  // "Version" as major * 256 + minor; "" counts as 1.0.
  int version() const;

 private:
  // The next line into the buffer: the one kept back, else one read. False
  // with 19 at the end of the file, 11 on a read failure.
  bool nextLine();
  // The current line up to its first CR or LF.
  std::string_view content() const;

  char line_[kRcdLineBuffer];
  size_t lineLength_ = 0;
  bool pushedBack_ = false;
};
