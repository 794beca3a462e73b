// The reader of the preset remote database's tables: the text reader with the
// character scramble undone before the Base64 text is decoded.
#pragma once

#include <memory>

#include "remote/data/rcn_scramble.h"
#include "remote_data/rcn_text_reader.h"

class RcnSetTextReader : public RcnTextReader {
 public:
  RcnSetTextReader();
  ~RcnSetTextReader() override;

  // Builds this reader's tables on first use; later calls keep them.
  void tlxRcnInitTables();
  bool tablesReady() const { return tables_ != nullptr; }

  // Undoes the scramble on a copy of `length` bytes (the running value
  // starts at `length`) and decodes the result into `output` as
  // tlxBase64DecodeText does, with its capacity and result.
  BOOL tlxRcnDescramble(const char* data, unsigned length, unsigned char* output, int* size);

 protected:
  BOOL decodeResource(const char* data, unsigned length, unsigned char* output, int* size) override;

 private:
  std::unique_ptr<RcnScrambleTables> tables_;
};
