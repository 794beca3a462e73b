// Easy-registration blocks: the record as text
//   "DOMAIN:%s\r\nPORT:%d\r\nPASSWORD:%s\r\nMODEL:%s\r\nSOFTVER:%s\r\nID:%s\r\n"
// sealed as a packet under a fixed key text and prefix.

#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

#include "link/tlx_bcf.h"
#include "ses/ses_packet.h"
#include "ses/ses_seal_body.h"

namespace {

constexpr int kErrNoMemory = -10;
constexpr int kErrOutTooSmall = -11;
constexpr int kErrSeal = -12;
constexpr int kErrOpen = -13;
constexpr int kErrParse = -14;
constexpr int kErrField = -15;
constexpr int kErrNull = -16;

constexpr char kKeyText[] = "KTqrwpsVNB";
constexpr uint8_t kPrefix[4] = {0x11, 0x11, 0x92, 0x4F};
constexpr int32_t kMaxPort = 99999;
// Labels, line ends, five port digits and the NUL.
constexpr size_t kTextOverhead = 56;

template <size_t N>
size_t fieldLength(const char (&field)[N]) {
  return strnlen(field, N);
}

template <size_t N>
bool fieldFits(const char (&field)[N]) {
  return fieldLength(field) < N;
}

// Size of the text buffer: the five texts plus the overhead.
size_t textEstimate(const TLX_ERD_INFO& info) {
  return fieldLength(info.domain) + fieldLength(info.password) + fieldLength(info.model) +
         fieldLength(info.softVersion) + fieldLength(info.id) + kTextOverhead;
}

std::unique_ptr<SesPacket> erdPacket() {
  auto packet = SesPacket::create();
  if (packet) {
    packet->setPrefix(kPrefix);
    packet->setKeyText(kKeyText);
  }
  return packet;
}

struct Label {
  std::string_view text;
  char* (*field)(TLX_ERD_INFO&);
  size_t room;  // field size with its NUL; 0 for the port
};

const Label kLabels[] = {
    {"DOMAIN:", [](TLX_ERD_INFO& r) { return r.domain; }, sizeof TLX_ERD_INFO::domain},
    {"PORT:", nullptr, 0},
    {"PASSWORD:", [](TLX_ERD_INFO& r) { return r.password; }, sizeof TLX_ERD_INFO::password},
    {"MODEL:", [](TLX_ERD_INFO& r) { return r.model; }, sizeof TLX_ERD_INFO::model},
    {"SOFTVER:", [](TLX_ERD_INFO& r) { return r.softVersion; }, sizeof TLX_ERD_INFO::softVersion},
    {"ID:", [](TLX_ERD_INFO& r) { return r.id; }, sizeof TLX_ERD_INFO::id},
};

// A port value: decimal digits (none reads as 0) that fit an int32.
bool parsePort(std::string_view value, int32_t* port) {
  *port = 0;
  if (value.find_first_not_of("0123456789") != std::string_view::npos) return false;
  if (value.empty()) return true;
  auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), *port);
  return error == std::errc() && end == value.data() + value.size();
}

// Lines "LABEL:value\r\n" in any order; a later line replaces an earlier value.
int parseRecord(std::string_view text, TLX_ERD_INFO* record) {
  while (!text.empty()) {
    size_t cr = text.find('\r');
    if (cr == std::string_view::npos || cr + 1 >= text.size() || text[cr + 1] != '\n') {
      return kErrParse;
    }
    std::string_view line = text.substr(0, cr);
    text.remove_prefix(cr + 2);
    if (line.find('\n') != std::string_view::npos) return kErrParse;

    const Label* label = nullptr;
    for (const Label& candidate : kLabels) {
      if (line.starts_with(candidate.text)) label = &candidate;
    }
    if (label == nullptr) return kErrParse;
    std::string_view value = line.substr(label->text.size());
    if (label->field == nullptr) {
      if (!parsePort(value, &record->port)) return kErrParse;
      continue;
    }
    if (value.size() >= label->room) return kErrParse;
    char* field = label->field(*record);
    std::memset(field, 0, label->room);
    std::memcpy(field, value.data(), value.size());
  }
  return 0;
}

}  // namespace

int tlxErdLib_getErdEncryptedSize(const TLX_ERD_INFO* info) {
  if (info == nullptr) return kErrNull;
  return static_cast<int>(SesPacket::sealedSize(textEstimate(*info)));
}

int tlxErdLib_encryptErdInfo(const TLX_ERD_INFO* info, void* out, int outSize) {
  if (info == nullptr || out == nullptr) return kErrNull;
  size_t estimate = textEstimate(*info);
  std::unique_ptr<char[]> text(new (std::nothrow) char[estimate]());
  if (!text) return kErrNoMemory;
  if (!fieldFits(info->domain) || !fieldFits(info->password) || !fieldFits(info->model) ||
      !fieldFits(info->softVersion) || !fieldFits(info->id) || info->port < 0 ||
      info->port > kMaxPort) {
    return kErrField;
  }
  if (outSize < 0 || static_cast<size_t>(outSize) < SesPacket::sealedSize(estimate)) {
    return kErrOutTooSmall;
  }
  std::snprintf(text.get(), estimate,
                "DOMAIN:%s\r\nPORT:%d\r\nPASSWORD:%s\r\nMODEL:%s\r\nSOFTVER:%s\r\nID:%s\r\n",
                info->domain, static_cast<int>(info->port), info->password, info->model,
                info->softVersion, info->id);
  try {
    auto packet = erdPacket();
    if (!packet || !packet->seal(text.get(), estimate, out)) return kErrSeal;
  } catch (const std::bad_alloc&) {
    return kErrNoMemory;
  }
  return 0;
}

int tlxErdLib_decryptErdInfo(const void* in, int inSize, TLX_ERD_INFO* out) {
  if (out == nullptr) return kErrNull;
  std::memset(out, 0, sizeof *out);
  if (in == nullptr) return kErrNull;
  ptrdiff_t opened = SesPacket::openedSize(inSize < 0 ? 0 : static_cast<size_t>(inSize));
  if (opened <= 0) return kErrNoMemory;
  // No packet is larger than the largest payload sealed; a bigger size would
  // only size the work buffer.
  if (static_cast<size_t>(inSize) > SesPacket::sealedSize(kSesMaxPayload)) return kErrOpen;
  std::unique_ptr<char[]> text(new (std::nothrow) char[opened]());
  if (!text) return kErrNoMemory;
  size_t length = 0;
  try {
    auto packet = erdPacket();
    if (!packet) return kErrNoMemory;
    if (!packet->open(in, static_cast<size_t>(inSize), text.get(), &length)) return kErrOpen;
  } catch (const std::bad_alloc&) {
    return kErrNoMemory;
  }
  TLX_ERD_INFO record{};
  int result = parseRecord(std::string_view(text.get(), strnlen(text.get(), length)), &record);
  if (result == 0) *out = record;
  return result;
}
