// Registration with a base station: the portable info the player sends, the
// base data it receives, both encrypted with a key made from the registration
// code, and the value map that keeps what was received.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx::auth {

// The value map: setting a key that exists appends the byte 0x01 and the new
// value; an absent key reads as "".
std::string tlxRegValueGet(const char* key);
void tlxRegValueSet(const char* key, const char* value);

// Looks up the player's model (item 1920) in the model table; an unknown
// model takes the first row.
void ModelInfo();

// The registration key: the first 16 bytes of the padding text with the code
// and its NUL copied over the beginning (at most 16 bytes).
void tlxRegistrationKey(const char* code, unsigned char key[16]);

// Whole blocks are encrypted; a remainder goes zero-padded into one more
// block; an input of a whole number of blocks gets a trailing all-zero block
// that is not encrypted. 0, or -1.
int Auth_AES_encrypt(const unsigned char key[16], const unsigned char* in, size_t length,
                     std::vector<uint8_t>& out);
// The length rounded up to whole blocks, each decrypted. 0, or -1.
int Auth_AES_decrypt(const unsigned char key[16], const unsigned char* in, size_t length,
                     std::vector<uint8_t>& out);

// The eight "NAME: value\n" lines of the player's identity. The text length,
// or -1 when an identity value cannot be read or the text reaches capacity.
int registration_FormatPortableInfo(char* buffer, int capacity, const char* alias);

// Formats, encrypts and sends the portable info as one chunk and the last chunk.
int RegistrationSendPortableInfo(int capacity, int socket, const char* code, const char* alias);

// Parses received base data: lines "NAME: value"; the six names of the
// base-data record are kept there, every other pair (and INFO_MODEL_B) goes to
// the observers. 0, or 7 for a null text or a line without ':'.
int registration_parse_base_data(const char* text);

// Decrypts received base data with the code's key and parses it. 0, -1 when
// it cannot be decrypted, or the parser's code.
int RegistrationAddBase(const char* code, int length, const unsigned char* data);

struct tlxRegistrationRecord {
  char username[32];
  char alias[32];
  char code[64];
};

// Runs the registration on a connected socket. TLX_AUTH_OK on success, else a
// negative TlxAuthResult (the TLX_REG_* meaning where a number has two).
int tlxRegistrationExchange(int socket, const tlxRegistrationRecord& record);

// Connects to the stored target, registers and closes the connection; the
// results of tlxRegistrationExchange, TLX_REG_INVALID_HOST or
// TLX_REG_NO_CONNECTION.
int tlxRegistrationConnect(const char* username, const char* alias, const char* code);

}  // namespace tlx::auth
