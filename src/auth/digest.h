// HTTP digest authentication (MD5, qop "auth") as the base station uses it.
#pragma once

#include <string>

namespace tlx::auth {

// Every field is a NUL-terminated text; the size is its capacity.
struct tlxDigestRecord {
  char realm[32];
  char nonce[33];
  char algorithm[8];
  char domain[16];
  char qop[8];
  char username[32];
  char uri[32];
  char cnonce[33];
  char nc[16];
  char response[33];
  char password[64];
};
static_assert(sizeof(tlxDigestRecord) == 307);

// Clears the record and fills it from a challenge's parameters. 0 for a null
// header, else 1 (missing parameters stay empty).
int tlxDigestParse(tlxDigestRecord* record, const char* header);

// Copies text into a field of the given capacity, cut to capacity - 1.
void tlxDigestSetField(char* field, size_t capacity, const char* text);

// A fresh client nonce: 32 lower-case hex digits and NUL.
void tlxDigestCnonce(char out[33]);

// The response value for these inputs. The method in A2 is always GET.
std::string tlxDigestResponseText(const std::string& username, const std::string& realm, const std::string& password,
                                  const std::string& nonce, const std::string& nc, const std::string& cnonce,
                                  const std::string& qop, const std::string& uri);

// Computes the record's response field from its other fields.
void tlxDigestResponse(tlxDigestRecord* record);

// The parameters of an Authorization header after "Digest ", in the order the
// base station expects; the cnonce is left out when withCnonce is false.
std::string tlxDigestAuthorization(const tlxDigestRecord& record, bool withCnonce);

// The user name and password the player authenticates with: the Ethernet MAC
// address as hex, and the identity text followed by the first 32 hex digits of
// the shared key. 0, or -1 when an identity value cannot be read.
int tlxDigestCredentials(tlxDigestRecord* record);

}  // namespace tlx::auth
