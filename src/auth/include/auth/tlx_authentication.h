// The authentication library: the player's identity, HTTP digest
// authentication towards the base station, registration, the base station's
// capability record, the easy-registration password and the stream key.
//
// One instance per process: the library is installed once, in the program's
// library folder. Modules link it by its SONAME; a loader that binds it at run
// time opens that same file by its absolute path, and dlopen of the file a
// process already links returns the copy already loaded. Everything one
// caller stores here (the server nonce, the base spec, the received
// registration values) is what every other caller reads.
//
// Every export takes one library lock, so callers on different threads may
// call in at the same time; a network wait under the lock is bounded by the
// 10 s connect and receive limits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "export/tlx_export.h"
#include "win32/types.h"

// The player's identity values, handed in by the link library and copied whole.
#pragma pack(push, 1)
struct TLX_SYSINFO_RECORD {
  char modelName[16];        // NUL-terminated text
  uint8_t etherMac[6];       // Ethernet MAC address
  uint8_t wlanMac[6];        // wireless MAC address
  char playerIdent[9];       // 8 characters and NUL
  uint8_t sharedKey[64];     // raw bytes
};
#pragma pack(pop)
static_assert(sizeof(TLX_SYSINFO_RECORD) == 101);
static_assert(offsetof(TLX_SYSINFO_RECORD, modelName) == 0);
static_assert(offsetof(TLX_SYSINFO_RECORD, etherMac) == 16);
static_assert(offsetof(TLX_SYSINFO_RECORD, wlanMac) == 22);
static_assert(offsetof(TLX_SYSINFO_RECORD, playerIdent) == 28);
static_assert(offsetof(TLX_SYSINFO_RECORD, sharedKey) == 37);

// Item numbers of the identity values.
inline constexpr int SYSINFO_ETHER_MAC_ADDR_P = 0;
inline constexpr int SYSINFO_WLAN_MAC_ADDR_P = 512;
inline constexpr int SYSINFO_SHARED_KEY = 1024;
inline constexpr int SYSINFO_PLAYER_IDENT = 1792;
inline constexpr int SYSINFO_INFO_MODEL_P = 1920;

// Results of TlxRavixRegistration for a host that is empty or too long, and of
// TlxRavixAuthentication for the base station's answers.
inline constexpr HRESULT TLX_E_INVALID_HOST = static_cast<HRESULT>(0x80041003);
inline constexpr HRESULT TLX_E_AUTH_UNAUTHORIZED = static_cast<HRESULT>(0x8004100A);
inline constexpr HRESULT TLX_E_AUTH_FAILED = static_cast<HRESULT>(0x80041013);
inline constexpr HRESULT TLX_E_AUTH_BAD_RESPONSE = static_cast<HRESULT>(0x80041014);
inline constexpr HRESULT TLX_E_AUTH_REGISTRATION_MODE = static_cast<HRESULT>(0x80041015);
inline constexpr HRESULT TLX_E_AUTH_SETTING_MODE = static_cast<HRESULT>(0x80041016);
inline constexpr HRESULT TLX_E_AUTH_CONNECTION_MODE = static_cast<HRESULT>(0x80041017);
inline constexpr HRESULT TLX_E_AUTH_IN_USE = static_cast<HRESULT>(0x80041018);
inline constexpr HRESULT TLX_E_AUTH_DISABLED = static_cast<HRESULT>(0x80041019);
inline constexpr HRESULT TLX_E_AUTH_NO_CHALLENGE = static_cast<HRESULT>(0x8004101A);
inline constexpr HRESULT TLX_E_AUTH_INCOMPATIBLE = static_cast<HRESULT>(0x8004101B);

// The negative results of a registration (TlxRavixRegistration returns them
// as they are) and of one authentication exchange (TlxRavixAuthentication
// turns them into the TLX_E_AUTH_* values). A number the two use differently
// has a name for each; -14 to -20 are also the codes of the base station's
// reason phrases.
enum TlxAuthResult : int {
  TLX_AUTH_OK = 0,
  TLX_AUTH_FAILED = -1,                 // anything not listed
  TLX_AUTH_UNAUTHORIZED = -2,           // exchange: the credentials were refused
  TLX_REG_BAD_REQUEST = -2,             // registration: "bad request", or base data it cannot take
  TLX_AUTH_NO_CHALLENGE = -3,           // exchange: no usable challenge
  TLX_REG_NO_REPLY = -3,                // registration: the reply is missing or unreadable
  TLX_AUTH_BAD_RESPONSE = -4,           // exchange: the answer is not HTTP
  TLX_REG_NOT_SENT = -4,                // registration: a request did not go out or got no answer
  TLX_AUTH_NO_ANSWER = -5,              // exchange: a request did not go out or got no answer
  TLX_REG_NO_CONNECTION = -5,           // registration: no connection to the base station
  TLX_AUTH_INCOMPATIBLE = -6,           // exchange: "Incompatible"
  TLX_REG_DENIED = -6,                  // registration: the base station refused the code
  TLX_REG_INCOMPATIBLE_MODEL = -7,      // "Registration NG: incompatible model"
  TLX_REG_INCOMPATIBLE_VERSION = -8,    // "Registration NG: incompatible version"
  TLX_REG_TOO_MANY_MONITORS = -9,       // "Registration NG: exceeds maximum monitors"
  TLX_REG_DUPLICATED = -10,             // "Registration NG: duplicated"
  TLX_REG_WRITE_FAILED = -11,           // "Registration NG: write failed"
  TLX_REG_DISABLED = -12,               // "Registration NG: registration disabled", or a 503 saying so
  TLX_REG_INVALID_HOST = -13,           // the stored host is empty or starts with a blank
  TLX_AUTH_UNAVAILABLE = -14,           // "Service Unavailable"
  TLX_AUTH_VERSION_UP = -15,            // "Service Unavailable (version up)"
  TLX_AUTH_DISABLED = -16,              // "Service Unavailable (disabled)"
  TLX_AUTH_IN_USE = -17,                // "Service Unavailable (in use)"
  TLX_AUTH_CONNECTION_MODE = -18,       // "Service Unavailable (connection mode)", or a bare 503
  TLX_AUTH_SETTING_MODE = -19,          // "Service Unavailable (setting mode)"
  TLX_AUTH_REGISTRATION_MODE = -20,     // "Service Unavailable (registration mode)"
};

extern "C" {

TLX_EXPORT bool TlxRavixSysInfoRegister(const TLX_SYSINFO_RECORD* record);
TLX_EXPORT HRESULT TlxRavixRegistration(const char* code, const char* alias, const char* host, int port,
                                          unsigned char proxyUse, int easy);
TLX_EXPORT const char* TlxRavixGetRegValue(const char* key);
TLX_EXPORT int TlxRavixAuthInit();
TLX_EXPORT HRESULT TlxRavixAuthentication(int socket, const char* host, int port, unsigned char proxyUse);
TLX_EXPORT HRESULT TlxRavixGetAKS(char* out);
TLX_EXPORT int TlxRavixMakePassword(char* out, int outLen, const char* nonce);
TLX_EXPORT int TlxRavixGetBaseType();
TLX_EXPORT uint32_t TlxRavixGetCodecType();
TLX_EXPORT int TlxRavixGetScalingMode();
TLX_EXPORT const char* TlxRavixGetBaseId();
TLX_EXPORT int TlxRavixRequestAuthentication(const char* host, int port, const char* method, const char* uri);

// MD5 with the classic argument order. MD5Final writes the 16-byte digest and
// releases the context; a context is used for one digest.
struct evp_md_ctx_st;
struct TLX_MD5_CONTEXT {
  evp_md_ctx_st* evp;
};
TLX_EXPORT void MD5Init(TLX_MD5_CONTEXT* context);
TLX_EXPORT void MD5Update(TLX_MD5_CONTEXT* context, const unsigned char* input, unsigned int length);
TLX_EXPORT void MD5Final(unsigned char digest[16], TLX_MD5_CONTEXT* context);

}  // extern "C"

// AES-128 in ECB mode, without padding. A key is made for one direction.
struct evp_cipher_ctx_st;
class TLX_EXPORT Rijndael {
 public:
  enum Direction { Encrypt = 0, Decrypt = 1 };

  Rijndael() = default;
  ~Rijndael();
  Rijndael(const Rijndael&) = delete;
  Rijndael& operator=(const Rijndael&) = delete;
  Rijndael(Rijndael&& other) noexcept;
  Rijndael& operator=(Rijndael&& other) noexcept;

  // 0, or -1 when the cipher cannot be set up.
  int MakeKey(const unsigned char key[16], Direction dir);
  // Transform whole 16-byte blocks; in and out may be the same buffer. The
  // number of blocks, or -1 when not keyed for that direction.
  int EncryptBlocks(const unsigned char* in, size_t blocks, unsigned char* out);
  int DecryptBlocks(const unsigned char* in, size_t blocks, unsigned char* out);

 private:
  int Transform(Direction dir, const unsigned char* in, size_t blocks, unsigned char* out);

  evp_cipher_ctx_st* context_ = nullptr;
  Direction direction_ = Encrypt;
};
