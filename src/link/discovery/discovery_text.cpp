#include "link/discovery/discovery_text.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tlx::link {
namespace {

constexpr char kSearchLine[] = "SEARCH Telvara_BaseStation";
constexpr char kNotifyLine[] = "NOTIFY Telvara_BaseStation";
constexpr char kSearchVersion[] = "1.0.2";

// How a line's value goes into the record.
enum class Into { kText, kNonce, kDecimal, kInteger, kMode, kTest };

// One line the record knows: its name, where its value goes, and whether it
// is one of the seven a complete reply has (its bit in the seen-set).
struct Field {
  const char* name;
  Into into;
  size_t offset;
  size_t size;
  unsigned counted;
};

constexpr Field kFields[] = {
    {"Version", Into::kText, offsetof(TLX_DISCOVERED_BASE, version), 8, 1u << 0},
    {"SoftVersion", Into::kText, offsetof(TLX_DISCOVERED_BASE, softVersion), 8, 0},
    {"Ravix_Host", Into::kText, offsetof(TLX_DISCOVERED_BASE, ravixHost), 52, 1u << 1},
    {"Ravix_Port", Into::kDecimal, offsetof(TLX_DISCOVERED_BASE, ravixPort), 4, 1u << 2},
    {"Identifier", Into::kText, offsetof(TLX_DISCOVERED_BASE, identifier), 32, 1u << 3},
    {"BaseStation_Mode", Into::kMode, offsetof(TLX_DISCOVERED_BASE, mode), 4, 1u << 4},
    {"Model", Into::kText, offsetof(TLX_DISCOVERED_BASE, model), 24, 1u << 5},
    {"Nonce", Into::kNonce, offsetof(TLX_DISCOVERED_BASE, nonce), 32, 1u << 6},
    {"DDNS_Enable", Into::kDecimal, offsetof(TLX_DISCOVERED_BASE, ddnsEnable), 4, 0},
    {"URL", Into::kText, offsetof(TLX_DISCOVERED_BASE, url), 64, 0},
    {"Nickname", Into::kText, offsetof(TLX_DISCOVERED_BASE, nickname), 32, 0},
    {"Compatibility", Into::kInteger, offsetof(TLX_DISCOVERED_BASE, compatibility), 4, 0},
    {"Ravix_Test", Into::kTest, 0, 0, 0},
    {"NETIF", Into::kInteger, offsetof(TLX_DISCOVERED_BASE, netif), 4, 0},
};
constexpr unsigned kAllCounted = (1u << 7) - 1;

void Put32(TLX_DISCOVERED_BASE* out, size_t offset, uint32_t value) {
  std::memcpy(reinterpret_cast<char*>(out) + offset, &value, sizeof value);
}

int32_t Mode(const char* value) {
  if (strcasecmp(value, "NORMAL") == 0) return 0;
  if (strcasecmp(value, "REGISTRATION") == 0) return 1;
  if (strcasecmp(value, "SETUP") == 0) return 2;
  return 3;
}

void Store(const Field& field, const char* value, TLX_DISCOVERED_BASE* out) {
  char* at = reinterpret_cast<char*>(out) + field.offset;
  switch (field.into) {
    case Into::kText:
      std::memcpy(at, value, strnlen(value, field.size - 1));
      break;
    case Into::kNonce:
      // The nonce may fill its field: the zero word after it ends it.
      std::memcpy(at, value, strnlen(value, field.size));
      break;
    case Into::kDecimal:
      Put32(out, field.offset, static_cast<uint32_t>(std::strtol(value, nullptr, 10)));
      break;
    case Into::kInteger:
      Put32(out, field.offset, tlxDiscoveryInteger(value, nullptr));
      break;
    case Into::kMode:
      Put32(out, field.offset, static_cast<uint32_t>(Mode(value)));
      break;
    case Into::kTest: {
      const char* rest = value;
      out->testFirst = static_cast<int32_t>(tlxDiscoveryInteger(rest, &rest));
      rest += std::strspn(rest, ", \t");
      out->testSecond = static_cast<int32_t>(tlxDiscoveryInteger(rest, nullptr));
      break;
    }
  }
}

}  // namespace

std::string tlxDiscoverySearchText(std::string_view model, int replyMode, int replyPort) {
  char text[kDiscoverySearchMax + 1];
  int used = std::snprintf(text, sizeof text, "%s\r\n%s: %s\r\n", kSearchLine, "Version", kSearchVersion);
  auto append = [&](const char* format, auto... values) {
    if (used < static_cast<int>(kDiscoverySearchMax)) {
      used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), format, values...);
    }
  };
  const std::string modelText(model.substr(0, model.find('\0')));
  if (!modelText.empty()) append("%s: %s\r\n", "Model", modelText.c_str());
  if (replyMode == 2) {
    append("%s: %d b\r\n\r\n", "Port", replyPort);
  } else if (replyMode == 1) {
    append("%s: %d\r\n\r\n", "Port", replyPort);
  } else {
    append("\r\n");
  }
  return std::string(text, std::min(static_cast<size_t>(used), kDiscoverySearchMax));
}

bool tlxDiscoveryParseNotify(std::string_view datagram, TLX_DISCOVERED_BASE* out) {
  *out = TLX_DISCOVERED_BASE{};
  // A copy with room for the terminating NUL.
  char text[kDiscoveryNotifyMax + 1];
  const size_t length = std::min(datagram.size(), kDiscoveryNotifyMax);
  std::memcpy(text, datagram.data(), length);
  text[length] = '\0';

  unsigned seen = 0;
  bool complete = true;
  bool first = true;
  for (char* line = text; line < text + length;) {
    char* end = line + std::strcspn(line, "\r\n");
    char* next = end;
    if (*next == '\r') ++next;
    if (*next == '\n') ++next;
    *end = '\0';
    if (first) {
      if (std::strcmp(line, kNotifyLine) != 0) return false;
      first = false;
    } else if (char* colon = std::strchr(line, ':')) {
      *colon = '\0';
      const char* value = colon + 1 + std::strspn(colon + 1, " \t");
      for (const Field& field : kFields) {
        if (strcasecmp(line, field.name) != 0) continue;
        if ((seen & field.counted) != 0) complete = false;  // a counted line twice
        seen |= field.counted;
        Store(field, value, out);
        break;
      }
    }
    if (next == end) break;  // the text ended inside the datagram (a NUL byte)
    line = next;
  }
  return !first && complete && seen == kAllCounted;
}

uint32_t tlxDiscoveryInteger(const char* text, const char** end) {
  text += std::strspn(text, " \t");
  char* stop = nullptr;
  const long long value = std::strtoll(text, &stop, 0);
  if (end != nullptr) *end = stop;
  return static_cast<uint32_t>(value);
}

}  // namespace tlx::link
