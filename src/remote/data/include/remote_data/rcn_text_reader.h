// The text of a region data table: Base64 of UTF-16LE text, decoded once into
// a buffer and read line by line.
//
// This plain form reads the settings' TV channel tables; the remote control's
// preset database reads its scrambled tables with a subclass that undoes the
// scramble first.
#pragma once

#include <memory>
#include <string>

#include "win32/types.h"

class RcnTextReader {
 public:
  RcnTextReader();
  virtual ~RcnTextReader();
  RcnTextReader(const RcnTextReader&) = delete;
  RcnTextReader& operator=(const RcnTextReader&) = delete;

  // Decodes `length` bytes of resource data into a fresh buffer of `length`
  // bytes; the text is the decoded bytes read as UTF-16LE (an odd last byte
  // dropped). Reading starts again at the top. FALSE when the data does not
  // decode into the buffer whole (the part that fitted is kept) or is null.
  BOOL tlxRcnLoadText(unsigned length, const void* data);

  // Reads the next non-empty line into `line` (room for `max` characters, the
  // zero included). A line longer than max - 1 comes in pieces of max - 1,
  // the counter unchanged. A CR, an LF, or a pair of them in either order is
  // one break; a break with nothing before it is skipped and counted. Gives
  // the line counter after the line's break, or the current counter for a
  // last line without one; 0 with an empty line at the end of the text or
  // at a zero character, which also resets the counter, and 0 with an empty
  // line for a max below 2.
  int tlxRcnReadLine(char16_t* line, int max);

  // Reads with a line of 2048 characters at most (2047 and the zero); the
  // line receives the text when the result is not 0 or the text is not empty,
  // and is emptied otherwise. Gives tlxRcnReadLine's result.
  int tlxRcnGetLine(std::u16string& line);

 protected:
  // Turns `length` bytes of resource data into bytes in `output` (capacity
  // *size, the full decoded length on return), as tlxBase64DecodeText does.
  virtual BOOL decodeResource(const char* data, unsigned length, unsigned char* output, int* size);

 private:
  std::unique_ptr<char16_t[]> text_;
  unsigned decodedLength_ = 0;  // characters
  int position_ = 0;
  int lineCounter_ = 0;
  int textLength_ = 0;  // characters
};
