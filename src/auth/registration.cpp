#include "registration.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include "auth_log.h"
#include "auth_state.h"
#include "digest.h"
#include "http_client.h"
#include "sys_info.h"
#include "tlx_authentication.h"

namespace {

struct ModelRow {
  const char* model;
  const char* acceptableModels;
  const char* registrationVersion;
  int number;
};

constexpr ModelRow kModelTable[] = {
    {"QZA-K20US", "*", "1.0.1.1", 3},   {"QZA-K20JP", "*JP", "1.0.1.1", 3}, {"QZA-K20TW", "*TW", "1.0.1.1", 3},
    {"QZA-K20KR", "*KR", "1.0.1.1", 3}, {"QZA-K20EU", "*EU", "1.0.1.1", 3},
};

constexpr char kKeyPadding[] = "Quell Nardi Vastro OM";
constexpr size_t kBlock = 16;

// One "NAME: value" entry of the base-data record.
struct BaseEntry {
  const char* name;
  size_t maximum;  // with the NUL
  std::string value;
};

// Transforms the whole blocks of the input, then a remainder zero-padded to
// one more block, into a zeroed output of outLength bytes.
int RegistrationCipher(Rijndael::Direction direction, const unsigned char key[16], const unsigned char* in,
                       size_t length, size_t outLength, std::vector<uint8_t>& out) {
  const bool encrypt = direction == Rijndael::Encrypt;
  out.assign(outLength, 0);
  Rijndael cipher;
  if (cipher.MakeKey(key, direction) != 0) {
    tlxAuthLog(encrypt ? "aes_encrypt_key failed\n\n" : "aes_decrypt_key failed\n\n");
    return -1;
  }
  auto run = [&](const unsigned char* from, size_t blocks, unsigned char* to) {
    return encrypt ? cipher.EncryptBlocks(from, blocks, to) : cipher.DecryptBlocks(from, blocks, to);
  };
  const size_t whole = length / kBlock;
  const size_t rest = length % kBlock;
  unsigned char last[kBlock] = {};
  if (rest > 0) std::memcpy(last, in + whole * kBlock, rest);
  if (run(in, whole, out.data()) < 0 || (rest > 0 && run(last, 1, out.data() + whole * kBlock) < 0)) {
    tlxAuthLog(encrypt ? "aes_ecb_encrypt failed\n\n" : "aes_ecb_decrypt failed\n\n");
    return -1;
  }
  return 0;
}

}  // namespace

std::string tlxRegValueGet(const char* key) {
  if (key == nullptr) return {};
  const auto& values = tlxAuthState().regValues;
  const auto found = values.find(key);
  return found != values.end() ? found->second : std::string();
}

void tlxRegValueSet(const char* key, const char* value) {
  if (key == nullptr || value == nullptr) return;
  auto& values = tlxAuthState().regValues;
  const auto [entry, inserted] = values.try_emplace(key, value);
  if (!inserted) {
    entry->second += '\x01';
    entry->second += value;
  }
}

void ModelInfo() {
  TlxAuthState& state = tlxAuthState();
  char model[16];
  sysInfoRead(SYSINFO_INFO_MODEL_P, model, sizeof model);
  const ModelRow* row = std::find_if(std::begin(kModelTable), std::end(kModelTable),
                                     [&](const ModelRow& entry) { return std::strcmp(entry.model, model) == 0; });
  if (row == std::end(kModelTable)) {
    tlxAuthLog("ModelInfo: invalid model name! [%s]\n\n", model);
    row = kModelTable;
  }
  state.acceptableModel = row->acceptableModels;
  state.registrationVersion = row->registrationVersion;
  tlxAuthLog("ModelInfo: %s, \"%s\", %s, %d\n\n", row->model, row->acceptableModels, row->registrationVersion,
             row->number);
}

void tlxRegistrationKey(const char* code, unsigned char key[16]) {
  std::memcpy(key, kKeyPadding, kBlock);
  if (code == nullptr) code = "";
  std::memcpy(key, code, std::min(std::strlen(code) + 1, kBlock));
}

int Auth_AES_encrypt(const unsigned char key[16], const unsigned char* in, size_t length, std::vector<uint8_t>& out) {
  return RegistrationCipher(Rijndael::Encrypt, key, in, length, (length + kBlock) / kBlock * kBlock, out);
}

int Auth_AES_decrypt(const unsigned char key[16], const unsigned char* in, size_t length, std::vector<uint8_t>& out) {
  return RegistrationCipher(Rijndael::Decrypt, key, in, length, (length + kBlock - 1) / kBlock * kBlock, out);
}

int registration_FormatPortableInfo(char* buffer, int capacity, const char* alias) {
  const TlxAuthState& state = tlxAuthState();
  struct Item {
    const char* name;
    int item;
  };
  static constexpr Item kItems[] = {{"ETHER_MAC_ADDR_P", SYSINFO_ETHER_MAC_ADDR_P},
                                    {"WLAN_MAC_ADDR_P", SYSINFO_WLAN_MAC_ADDR_P},
                                    {"INFO_SERIAL_P", SYSINFO_PLAYER_IDENT},
                                    {"INFO_MODEL_P", SYSINFO_INFO_MODEL_P},
                                    {"TLX_SHRD_KEY_1", SYSINFO_SHARED_KEY}};
  std::string text = tlxFormat("%s: %s\n", "REGISTRATION_VER", state.registrationVersion);
  text += tlxFormat("%s: %s\n", "ACCEPTABLE_MODEL", state.acceptableModel);
  text += tlxFormat("%s: %s\n", "ALIAS", alias != nullptr ? alias : "");
  for (const Item& entry : kItems) {
    char value[260];
    if (sysInfoRead(entry.item, value, sizeof value) != 0) return -1;
    text += tlxFormat("%s: %s\n", entry.name, value);
  }
  if (buffer == nullptr || text.size() >= static_cast<size_t>(std::max(capacity, 0))) {
    tlxAuthLog("%s: buffer overflow! increase to %zu\n\n", "registration_FormatPortableInfo", text.size() + 1);
    return -1;
  }
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return static_cast<int>(text.size());
}

int RegistrationSendPortableInfo(int capacity, int socket, const char* code, const char* alias) {
  std::vector<char> text(static_cast<size_t>(std::max(capacity, 0)));
  const int length = registration_FormatPortableInfo(text.data(), capacity, alias);
  if (length < 0) return -1;
  unsigned char key[kBlock];
  tlxRegistrationKey(code, key);
  std::vector<uint8_t> cipher;
  if (Auth_AES_encrypt(key, reinterpret_cast<const unsigned char*>(text.data()), static_cast<size_t>(length),
                       cipher) != 0) {
    tlxAuthLog("RegistrationSendPortableInfo: encryption failed\n\n");
    return -1;
  }
  if (SendHTTP_chunk(static_cast<int>(cipher.size()), socket, reinterpret_cast<const char*>(cipher.data())) != 0 ||
      SendHTTP_chunk(0, socket, nullptr) != 0) {
    return -1;
  }
  return 0;
}

int registration_parse_base_data(const char* text) {
  BaseEntry entries[] = {{"STATUS", 2, {}},        {"REGISTRATION_VER", 16, {}}, {"ALIAS", 20, {}},
                         {"ETHER_MAC_ADDR_B", 16, {}}, {"INFO_SERIAL_B", 16, {}},    {"INFO_MODEL_B", 16, {}}};
  if (text == nullptr) return 7;
  const auto& observers = tlxAuthState().observers;
  auto tell = [&](const std::string& name, const std::string& value) {
    for (RegParseObserver observer : observers) observer(name.c_str(), value.c_str());
  };

  const std::string_view all(text);
  size_t start = 0;
  for (;;) {
    const size_t end = all.find_first_of("\r\n", start);
    if (end == std::string_view::npos) break;  // a last piece without a line break is not read
    const std::string_view line = all.substr(start, end - start);
    start = end + (all.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
      tlxAuthLog("RegParse: invalid line [%.*s]\n\n", static_cast<int>(line.size()), line.data());
      return 7;
    }
    const std::string name(line.substr(0, colon));
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(' '), value.size()));
    const auto entry = std::find_if(std::begin(entries), std::end(entries),
                                    [&](const BaseEntry& e) { return name == e.name && e.value.empty(); });
    if (entry != std::end(entries)) {
      entry->value = value.substr(0, entry->maximum - 1);
    } else {
      tell(name, std::string(value));
    }
  }
  const auto missing = std::count_if(std::begin(entries), std::end(entries),
                                     [](const BaseEntry& e) { return e.value.empty(); });
  if (missing > 0) tlxAuthLog("RegParse: %d fields not found\n\n", static_cast<int>(missing));
  tell("INFO_MODEL_B", entries[5].value);
  tlxAuthLog("saved base info: %s, %s, %s, %s, %s\n\n", entries[1].value.c_str(), entries[2].value.c_str(),
             entries[3].value.c_str(), entries[4].value.c_str(), entries[5].value.c_str());
  return 0;
}

int RegistrationAddBase(const char* code, int length, const unsigned char* data) {
  if (length < 0 || (length > 0 && data == nullptr)) return -1;
  size_t size = static_cast<size_t>(length);
  // The sender ends data of a whole number of blocks with an all-zero block
  // that was never encrypted: it carries nothing.
  static constexpr unsigned char kZeroBlock[kBlock] = {};
  if (size >= kBlock && size % kBlock == 0 && std::memcmp(data + size - kBlock, kZeroBlock, kBlock) == 0) {
    size -= kBlock;
  }
  unsigned char key[kBlock];
  tlxRegistrationKey(code, key);
  std::vector<uint8_t> plain;
  if (Auth_AES_decrypt(key, data, size, plain) != 0) {
    tlxAuthLog("RegistrationAddBase: decryption failed\n\n");
    return -1;
  }
  // The text ends at its first NUL (the padding of the last block).
  const std::string text(plain.begin(), std::find(plain.begin(), plain.end(), 0));
  return registration_parse_base_data(text.c_str());
}

namespace {


struct Reply {
  const char* text;
  int code;
};
constexpr Reply kReplies[] = {
    {"Registration OK\n", 0},
    {"Registration NG: duplicated\n", -10},
    {"Registration NG: bad request\n", -2},
    {"Registration NG: write failed\n", -11},
    {"Registration NG: exceeds maximum monitors\n", -9},
    {"Registration NG: incompatible version\n", -8},
    {"Registration NG: incompatible model\n", -7},
    {"Registration NG: registration disabled\n", -12},
};

// Reads the body of a 200 answer into body; its length, or -1.
int ReadReplyBody(int socket, const tlxHttpResponse& response, char (&body)[kTlxHttpHeaderSize]) {
  const char* encoding = response.transferEncoding;
  if (encoding != nullptr) encoding += std::strspn(encoding, " \t");
  if (encoding != nullptr && std::strcmp(encoding, "chunked") == 0) {
    const int length = tlxHttpReadChunked(socket, body, sizeof body);
    if (length < 0) tlxAuthLog("invalid chunked response body\n\n");
    return length;
  }
  const int length = response.contentLength;
  if (length < 1) {
    tlxAuthLog("HTTP body size is unknown\n\n");
    return -1;
  }
  if (length >= static_cast<int>(sizeof body) ||
      ReceiveSocket(body, socket, length + 1, nullptr, kTlxHttpTimeoutSeconds) != length) {
    tlxAuthLog("reg: failed to receive response body\n\n");
    return -1;
  }
  return length;
}

int ReplyCode(const char* code, const char* body, int length) {
  for (const Reply& reply : kReplies) {
    if (std::strncmp(body, reply.text, std::strlen(reply.text) - 1) != 0) continue;
    if (reply.code != 0 || length <= 16) return reply.code;
    tlxAuthLog("base info received\n\n");
    const int parsed = RegistrationAddBase(code, length - 16, reinterpret_cast<const unsigned char*>(body) + 16);
    return parsed == 0 ? 0 : parsed == 7 ? -2 : -1;
  }
  return -3;
}

}  // namespace

int tlxRegistrationExchange(int socket, const tlxRegistrationRecord& record) {
  TlxAuthState& state = tlxAuthState();
  const std::string path = state.proxyUse == 1
                               ? tlxFormat("%s:%d%s", state.host.c_str(), state.port, "/tlx/registration")
                               : std::string("/tlx/registration");
  char cnonce[33];
  tlxDigestCnonce(cnonce);
  tlxAuthLog("***** Registration Start *****\n\n");
  state.regNonceCount = 0;

  char buffer[kTlxHttpHeaderSize];
  if (SendHTTP(tlxChallengeRequest(path, state.host, state.port).c_str(), socket, nullptr) != 0) {
    tlxAuthLog("reg: failed to send request\n\n");
    return -4;
  }
  if (ReceiveSocket(buffer, socket, sizeof buffer, "\r\n\r\n", kTlxHttpTimeoutSeconds) <= 0) {
    tlxAuthLog("reg: failed to receive response\n\n");
    return -4;
  }
  tlxHttpResponse response;
  if (tlxHttpParseResponse(buffer, &response) != 0) {
    tlxAuthLog("reg: failed to parse response\n\n");
    return -1;
  }
  if (response.status == 503) {
    const int reason = tlxHttpReasonCode(response.reason);
    if (reason == -16 || reason == -14) {
      tlxAuthLog("registration disabled\n\n");
      return -12;
    }
    tlxAuthLog(reason == -15 ? "registration refused due to VUP\n\n" : "registration server busy\n\n");
    return -1;
  }
  if (response.status != 401) {
    tlxAuthLog("reg: unexpected response %d\n\n", response.status);
    return -1;
  }
  tlxDigestRecord digest;
  if (tlxDigestParse(&digest, response.wwwAuthenticate) == 0 || digest.nonce[0] == '\0') {
    tlxAuthLog("reg: registration denied\n\n");
    return -6;
  }
  tlxDigestSetField(digest.uri, sizeof digest.uri, "/tlx/registration");
  tlxDigestSetField(digest.cnonce, sizeof digest.cnonce, cnonce);
  ++state.regNonceCount;
  tlxDigestSetField(digest.nc, sizeof digest.nc, tlxFormat("%08d", state.regNonceCount).c_str());
  tlxDigestSetField(digest.username, sizeof digest.username, record.username);
  tlxDigestSetField(digest.password, sizeof digest.password, record.code);
  tlxDigestResponse(&digest);

  tlxAuthLog("send request message\n\n");
  if (SendHTTP((tlxRequestHead("POST", path, state.host, state.port) + "User-Agent: TLXStreamingClient\r\n" +
                kTlxKeepAliveHeaders + "Authorization: Digest " + tlxDigestAuthorization(digest, true) + "\r\n" +
                kTlxNoCacheHeaders + "Transfer-Encoding: chunked\r\n")
                   .c_str(),
               socket, nullptr) != 0) {
    tlxAuthLog("reg: failed to send registration request\n\n");
    return -4;
  }
  if (RegistrationSendPortableInfo(kTlxHttpHeaderSize, socket, record.code, record.alias) != 0) {
    tlxAuthLog("reg: failed to send registration data\n\n");
    return -4;
  }
  if (ReceiveSocket(buffer, socket, sizeof buffer, "\r\n\r\n", kTlxHttpTimeoutSeconds) <= 0) {
    tlxAuthLog("reg: failed to receive response header\n\n");
    return -3;
  }
  if (tlxHttpParseResponse(buffer, &response) != 0) {
    tlxAuthLog("reg: failed to parse response header\n\n");
    return -3;
  }
  if (response.status == 401) {
    tlxAuthLog("unauthorized\n\n");
    return -6;
  }
  if (response.status != 200) {
    tlxAuthLog("unknown server response %d\n\n", response.status);
    return -1;
  }
  char body[kTlxHttpHeaderSize];
  const int length = ReadReplyBody(socket, response, body);
  if (length < 0) return -3;
  tlxAuthLog("%s\n\n", body);
  return ReplyCode(record.code, body, length);
}

int tlxRegistrationConnect(const char* username, const char* alias, const char* code) {
  const TlxAuthState& state = tlxAuthState();
  tlxRegistrationRecord record{};
  tlxDigestSetField(record.username, sizeof record.username, username != nullptr ? username : "");
  tlxDigestSetField(record.alias, sizeof record.alias, alias != nullptr ? alias : "");
  tlxDigestSetField(record.code, sizeof record.code, code != nullptr ? code : "");
  const char* host = state.host.c_str();
  if (!std::isgraph(static_cast<unsigned char>(host[0]))) {
    tlxAuthLog("reg: invalid hostname \"%s\"\n\n", host);
    return -13;
  }
  const tlx::win32::Descriptor socket = tlxHttpConnectTagged(host, state.port, "reg: ");
  if (!socket) return -5;
  return tlxRegistrationExchange(socket.get(), record);
}
