#include "remote/data/rcd_file.h"

#include <cerrno>
#include <new>

#include "remote/data/hex_text.h"
#include "remote/rcd_access.h"

namespace {

EVP_MD_CTX* newContext() {
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr) throw std::bad_alloc();
  return context;
}

// OpenSSL fails these only when it cannot allocate.
void check(int result) {
  if (result != 1) throw std::bad_alloc();
}

}  // namespace

int rcdErrorOfErrno(int error, int otherwise) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return kRcdErrNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kRcdErrAccess;
    case ENOSPC:
    case EDQUOT:
      return otherwise == kRcdErrWrite ? kRcdErrDiskFull : otherwise;
    default:
      return otherwise;
  }
}

RcdFile::RcdFile() : digest_(newContext(), EVP_MD_CTX_free), saved_(newContext(), EVP_MD_CTX_free) {
  check(EVP_DigestInit_ex(digest_.get(), EVP_md5(), nullptr));
}

RcdFile::~RcdFile() { RcdFile::close(); }

void RcdFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void RcdFile::startChecksum() { check(EVP_DigestInit_ex(digest_.get(), EVP_md5(), nullptr)); }

bool RcdFile::openFile(const std::string& path, const char* mode) {
  if (file_ != nullptr) return fail(kRcdErrAlreadyOpen);
  errno = 0;
  file_ = std::fopen(path.c_str(), mode);
  if (file_ == nullptr) return fail(rcdErrorOfErrno(errno, kRcdErrOpen));
  lastError_ = 0;
  return true;
}

void RcdFile::feed(const void* bytes, size_t n) {
  if (n > 0) check(EVP_DigestUpdate(digest_.get(), bytes, n));
}

std::string RcdFile::finalDigestHex(const uint8_t salt[kRcdSaltSize]) const {
  std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> copy(newContext(), EVP_MD_CTX_free);
  check(EVP_MD_CTX_copy_ex(copy.get(), digest_.get()));
  check(EVP_DigestUpdate(copy.get(), salt, kRcdSaltSize));
  check(EVP_DigestUpdate(copy.get(), kRcdChecksumSecret, sizeof kRcdChecksumSecret - 1));
  uint8_t digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  check(EVP_DigestFinal_ex(copy.get(), digest, &length));
  return tlxBytesToHex(digest, static_cast<int>(length));
}

void RcdFile::saveDigest() { check(EVP_MD_CTX_copy_ex(saved_.get(), digest_.get())); }

void RcdFile::restoreDigest() { check(EVP_MD_CTX_copy_ex(digest_.get(), saved_.get())); }
