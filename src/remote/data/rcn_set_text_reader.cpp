#include "remote/data/rcn_set_text_reader.h"

#include <vector>

#include "remote_data/base64_text.h"

RcnSetTextReader::RcnSetTextReader() = default;

RcnSetTextReader::~RcnSetTextReader() = default;

void RcnSetTextReader::tlxRcnInitTables() {
  if (!tables_) tables_ = std::make_unique<RcnScrambleTables>();
}

BOOL RcnSetTextReader::tlxRcnDescramble(const char* data, unsigned length, unsigned char* output,
                                        int* size) {
  if (data == nullptr || size == nullptr) return FALSE;
  tlxRcnInitTables();
  std::vector<uint8_t> copy(data, data + length);
  tables_->descramble(copy.data(), copy.size(), length);
  return tlxBase64DecodeText(reinterpret_cast<const char*>(copy.data()), length, output, size);
}

BOOL RcnSetTextReader::decodeResource(const char* data, unsigned length, unsigned char* output,
                                      int* size) {
  return tlxRcnDescramble(data, length, output, size);
}
