// Records and blocks for the easy-registration tests.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>

#include "link/tlx_bcf.h"
#include "ses/ses_test_support.h"

inline TLX_ERD_INFO makeRecord(const std::string& domain, int32_t port, const std::string& password,
                               const std::string& model, const std::string& softVersion,
                               const std::string& id) {
  TLX_ERD_INFO record;
  std::memset(&record, 0, sizeof record);
  // Copies up to the field size, so a text as long as its field has no NUL.
  std::memcpy(record.domain, domain.data(), std::min(domain.size(), sizeof record.domain));
  record.port = port;
  std::memcpy(record.password, password.data(), std::min(password.size(), sizeof record.password));
  std::memcpy(record.model, model.data(), std::min(model.size(), sizeof record.model));
  std::memcpy(record.softVersion, softVersion.data(),
              std::min(softVersion.size(), sizeof record.softVersion));
  std::memcpy(record.id, id.data(), std::min(id.size(), sizeof record.id));
  return record;
}

inline bool sameRecord(const TLX_ERD_INFO& a, const TLX_ERD_INFO& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

inline Bytes encryptRecord(const TLX_ERD_INFO& record) {
  int size = tlxErdLib_getErdEncryptedSize(&record);
  if (size <= 0) return {};
  Bytes block(static_cast<size_t>(size));
  if (tlxErdLib_encryptErdInfo(&record, block.data(), size) != 0) return {};
  return block;
}
