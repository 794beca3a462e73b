#include <openssl/evp.h>

#include <climits>
#include <utility>

#include "auth/tlx_authentication.h"

Rijndael::~Rijndael() { EVP_CIPHER_CTX_free(context_); }

Rijndael::Rijndael(Rijndael&& other) noexcept
    : context_(std::exchange(other.context_, nullptr)), direction_(other.direction_) {}

Rijndael& Rijndael::operator=(Rijndael&& other) noexcept {
  if (this != &other) {
    EVP_CIPHER_CTX_free(context_);
    context_ = std::exchange(other.context_, nullptr);
    direction_ = other.direction_;
  }
  return *this;
}

int Rijndael::MakeKey(const unsigned char key[16], Direction dir) {
  EVP_CIPHER_CTX_free(context_);
  context_ = nullptr;
  if (key == nullptr || (dir != Encrypt && dir != Decrypt)) return -1;
  EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
  if (context == nullptr) return -1;
  if (EVP_CipherInit_ex(context, EVP_aes_128_ecb(), nullptr, key, nullptr, dir == Encrypt ? 1 : 0) != 1 ||
      EVP_CIPHER_CTX_set_padding(context, 0) != 1) {
    EVP_CIPHER_CTX_free(context);
    return -1;
  }
  context_ = context;
  direction_ = dir;
  return 0;
}

int Rijndael::EncryptBlocks(const unsigned char* in, size_t blocks, unsigned char* out) {
  return Transform(Encrypt, in, blocks, out);
}

int Rijndael::DecryptBlocks(const unsigned char* in, size_t blocks, unsigned char* out) {
  return Transform(Decrypt, in, blocks, out);
}

int Rijndael::Transform(Direction dir, const unsigned char* in, size_t blocks, unsigned char* out) {
  if (context_ == nullptr || direction_ != dir || blocks > static_cast<size_t>(INT_MAX)) return -1;
  if (blocks > 0 && (in == nullptr || out == nullptr)) return -1;
  // The cipher takes an int length: go in pieces well below that.
  constexpr size_t kPieceBlocks = 1 << 20;
  for (size_t done = 0; done < blocks;) {
    const size_t piece = blocks - done < kPieceBlocks ? blocks - done : kPieceBlocks;
    int written = 0;
    if (EVP_CipherUpdate(context_, out + done * 16, &written, in + done * 16, static_cast<int>(piece * 16)) != 1 ||
        written != static_cast<int>(piece * 16)) {
      return -1;
    }
    done += piece;
  }
  return static_cast<int>(blocks);
}
