#include "auth/digest.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "auth/auth_log.h"
#include "auth/md5.h"
#include "auth/sys_info.h"
#include "auth/tlx_authentication.h"

namespace tlx::auth {

namespace {

// Finds "name=" in the header and copies its value: up to the matching quote
// for a quoted value, else up to a comma, blank, tab, CR or LF. A value whose
// quote is never closed is not taken.
void ExtractParameter(const char* header, const char* name, char* field, size_t capacity) {
  const size_t nameLength = std::strlen(name);
  const char* found = std::strstr(header, name);
  // "nonce=" is also the tail of "cnonce=".
  while (found != nullptr && std::strcmp(name, "nonce=") == 0 && found > header && found[-1] == 'c') {
    found = std::strstr(found + 1, name);
  }
  if (found == nullptr) return;
  const char* value = found + nameLength;
  const char* end;
  if (*value == '"' || *value == '\'') {
    end = std::strchr(value + 1, *value);
    if (end == nullptr) return;
    ++value;
  } else {
    end = value + std::strcspn(value, ", \t\r\n");
  }
  const size_t length = static_cast<size_t>(end - value) < capacity - 1 ? static_cast<size_t>(end - value)
                                                                         : capacity - 1;
  std::memcpy(field, value, length);
  field[length] = '\0';
}

}  // namespace

void tlxDigestSetField(char* field, size_t capacity, const char* text) {
  const size_t length = strnlen(text, capacity - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

int tlxDigestParse(tlxDigestRecord* record, const char* header) {
  std::memset(record, 0, sizeof *record);
  if (header == nullptr) {
    tlxAuthLog("No authentication parameters\n\n");
    return 0;
  }
  ExtractParameter(header, "realm=", record->realm, sizeof record->realm);
  ExtractParameter(header, "nonce=", record->nonce, sizeof record->nonce);
  ExtractParameter(header, "algorithm=", record->algorithm, sizeof record->algorithm);
  ExtractParameter(header, "domain=", record->domain, sizeof record->domain);
  ExtractParameter(header, "qop=", record->qop, sizeof record->qop);
  ExtractParameter(header, "username=", record->username, sizeof record->username);
  ExtractParameter(header, "uri=", record->uri, sizeof record->uri);
  ExtractParameter(header, "cnonce=", record->cnonce, sizeof record->cnonce);
  ExtractParameter(header, "nc=", record->nc, sizeof record->nc);
  ExtractParameter(header, "response=", record->response, sizeof record->response);
  ExtractParameter(header, "password=", record->password, sizeof record->password);
  return 1;
}

void tlxDigestCnonce(char out[33]) {
  // Two numbers in the range of rand(), from the kernel's generator: every
  // connection gets its own cnonce, however close together they are made.
  uint32_t numbers[2] = {};
  size_t filled = 0;
  while (filled < sizeof numbers) {
    const ssize_t got = getrandom(reinterpret_cast<char*>(numbers) + filled, sizeof numbers - filled, 0);
    if (got > 0) {
      filled += static_cast<size_t>(got);
    } else if (errno != EINTR) {
      break;
    }
  }
  const std::string text = tlxFormat("%d%d", static_cast<int>(numbers[0] & 0x7FFFFFFF),
                                     static_cast<int>(numbers[1] & 0x7FFFFFFF));
  tlxMd5Hex(text.data(), text.size(), out, 33);
}

std::string tlxDigestResponseText(const std::string& username, const std::string& realm, const std::string& password,
                                  const std::string& nonce, const std::string& nc, const std::string& cnonce,
                                  const std::string& qop, const std::string& uri) {
  const std::string ha1 = tlxMd5Hex(username + ":" + realm + ":" + password);
  const std::string ha2 = tlxMd5Hex("GET:" + uri);
  return tlxMd5Hex(ha1 + ":" + nonce + ":" + nc + ":" + cnonce + ":" + qop + ":" + ha2);
}

void tlxDigestResponse(tlxDigestRecord* record) {
  const std::string response = tlxDigestResponseText(record->username, record->realm, record->password, record->nonce,
                                                     record->nc, record->cnonce, record->qop, record->uri);
  tlxDigestSetField(record->response, sizeof record->response, response.c_str());
}

std::string tlxDigestAuthorization(const tlxDigestRecord& record, bool withCnonce) {
  std::string value = tlxFormat("username=\"%s\", realm=\"%s\", uri=\"%s\", algorithm=MD5, nonce=\"%s\", ",
                                record.username, record.realm, record.uri, record.nonce);
  if (withCnonce) value += tlxFormat("cnonce=\"%s\", ", record.cnonce);
  value += tlxFormat("qop=\"%s\", nc=%s, response=\"%s\"", record.qop, record.nc, record.response);
  return value;
}

int tlxDigestCredentials(tlxDigestRecord* record) {
  char mac[32];
  char ident[224];
  char key[129 + 1];
  if (sysInfoRead(SYSINFO_ETHER_MAC_ADDR_P, mac, sizeof mac) != 0 ||
      sysInfoRead(SYSINFO_PLAYER_IDENT, ident, sizeof ident) != 0 ||
      sysInfoRead(SYSINFO_SHARED_KEY, key, sizeof key) != 0) {
    return -1;
  }
  key[32] = '\0';
  tlxDigestSetField(record->username, sizeof record->username, mac);
  tlxDigestSetField(record->password, sizeof record->password, (std::string(ident) + key).c_str());
  return 0;
}

}  // namespace tlx::auth
