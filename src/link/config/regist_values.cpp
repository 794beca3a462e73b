#include "link/config/regist_values.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "link/config/line_info.h"
#include "link/config/link_options.h"
#include "link/config/tlx_auth_fns.h"
#include "link/config/tlx_cfg.h"

namespace tlx::link {
namespace {

constexpr int kLinePartFirstType = 2;
constexpr int kLinePartLastType = 5;
constexpr int32_t kFormatThirdDefault = 508;

// The base's LINEINFO value, or the region's default when it gives none.
std::string LineInfo() {
  std::string value = tlxAuthGetRegValue("LINEINFO");
  return value.empty() ? tlxLineInfoDefault(tlxRegionCode()) : value;
}

void FillEquip(const TlxLineDevice& device, TLX_CAP_EQUIP* out) {
  out->kind = static_cast<uint8_t>(device.kind);
  out->makerId = device.first;
  out->modelId = device.second;
  std::memcpy(out->makerName, device.makerName, sizeof out->makerName);
  std::memcpy(out->modelName, device.modelName, sizeof out->modelName);
}

// The mask bits of the picture controls named after the mode in "PICTCONF".
int32_t PictureMask(const char* names) {
  struct Bit {
    const char* name;
    int32_t bit;
  };
  static constexpr Bit kBits[] = {{"BRI", 1}, {"PIC", 2}, {"COL", 4}, {"HUE", 8}, {"SHA", 16}};
  int32_t mask = 0;
  std::string rest(names);
  size_t at = 0;
  while (at <= rest.size()) {
    const size_t comma = rest.find(',', at);
    std::string name = rest.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    name.erase(0, name.find_first_not_of(' '));
    for (const Bit& bit : kBits) {
      if (name == bit.name) mask |= bit.bit;
    }
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return mask != 0 ? mask : 31;
}

const char* RegionSuffix(uint32_t regionCode) {
  switch (regionCode) {
    case kRegionUS:
      return "US";
    case kRegionJP:
      return "JP";
    case kRegionTW:
      return "TW";
    case kRegionKR:
      return "KR";
    default:
      return regionCode >= kRegionEUFirst && regionCode <= kRegionEULast ? "EU" : nullptr;
  }
}

void CopyName(const char* from, char* to) {
  const size_t length = strnlen(from, 63);
  std::memcpy(to, from, length);
  std::memset(to + length, 0, 64 - length);
}

}  // namespace

const char* tlxRegValueName(int type) {
  switch (type) {
    case 0:
      return "WLAN";
    case 1:
      return "VFMT";
    case 2:
    case 3:
    case 4:
    case 5:
      return "LINEINFO";
    case 6:
      return "INFO_MODEL_B";
    case 7:
      return "RCOMFUNC";
    case 8:
      return "ID";
    default:
      return nullptr;
  }
}

std::string tlxRegValue(int type) {
  const char* name = tlxRegValueName(type);
  if (name == nullptr) return {};
  if (type >= kLinePartFirstType && type <= kLinePartLastType) {
    const std::vector<std::string> parts = tlxSplitParts(LineInfo());
    const size_t part = static_cast<size_t>(type - kLinePartFirstType);
    return part < parts.size() ? parts[part] : std::string();
  }
  std::string value = tlxAuthGetRegValue(name);
  if (type == 8 && !value.empty() && value[0] == ' ') value.erase(0, 1);
  return value;
}

int tlxRegistCapWlan(TLX_CAP_WLAN* out) {
  if (out == nullptr) return -1;
  *out = TLX_CAP_WLAN{};
  const std::string value = tlxAuthGetRegValue("WLAN");
  if (value.empty()) return -1;
  out->support = static_cast<int32_t>(std::strtol(value.c_str() + std::strspn(value.c_str(), " "), nullptr, 10));
  for (int32_t& unset : out->unset) unset = -1;
  out->unset104 = -1;
  return 0;
}

int tlxRegistCapVideoSystem(TLX_CAP_VIDEO_SYSTEM* out) {
  if (out == nullptr) return -1;
  *out = TLX_CAP_VIDEO_SYSTEM{};
  const std::string formats = tlxAuthGetRegValue("VFMT");
  if (formats.empty()) return -1;
  const char* at = formats.c_str();
  int32_t first = 0;
  int32_t second = 0;
  int32_t third = kFormatThirdDefault;
  if (tlxLineNumber(&at, &first) && tlxLineNumber(&at, &second)) {
    if (!tlxLineNumber(&at, &third)) third = kFormatThirdDefault;
  } else {
    first = second = third = 1;
  }
  out->formatSecond = second;
  out->formatFirst = first;
  out->formatThird = third;
  const std::string controls = tlxAuthGetRegValue("PICTCONF");
  at = controls.c_str();
  int32_t mode = 0;
  if (tlxLineNumber(&at, &mode) && mode == 1) {
    out->pictureControlMode = 1;
    out->pictureControlMask = PictureMask(at + std::strspn(at, ","));
  }
  return 0;
}

int tlxRegistCapRcomFunc(int* out) {
  if (out == nullptr) return -1;
  *out = 0;
  const std::string value = tlxAuthGetRegValue("RCOMFUNC");
  if (value.empty()) return -1;
  const char* at = value.c_str();
  int32_t number = 0;
  if (tlxLineNumber(&at, &number)) *out = number;
  return 0;
}

int tlxRegistCapLineInfo(int index, TLX_CAP_LINE_INFO* out) {
  if (out == nullptr) return -1;
  *out = TLX_CAP_LINE_INFO{};
  const std::string value = LineInfo();
  if (value.empty() || index < 0) return -1;
  const std::vector<std::string> parts = tlxSplitParts(value);
  if (static_cast<size_t>(index) >= parts.size()) return -1;
  TlxLineRecord record;
  if (tlxParseLineRecord(parts[static_cast<size_t>(index)], &record) != 0) return -1;
  out->type = static_cast<uint8_t>(record.type);
  out->line = static_cast<uint8_t>(record.line);
  if (record.type == 0) {
    out->air = record.air & 0xFF;
    FillEquip(record.device[0], &out->equip[0]);
  } else if (record.rcomText == tlxRcomModelName()) {
    FillEquip(record.device[0], &out->equip[0]);
    FillEquip(record.device[1], &out->equip[1]);
  }
  return 0;
}

int tlxRegistCapability(unsigned type, int index, void* out) {
  switch (type) {
    case 0:
      return tlxRegistCapWlan(static_cast<TLX_CAP_WLAN*>(out));
    case 1:
      return tlxRegistCapLineInfo(index, static_cast<TLX_CAP_LINE_INFO*>(out));
    case 2:
      return tlxRegistCapVideoSystem(static_cast<TLX_CAP_VIDEO_SYSTEM*>(out));
    case 3:
      return tlxRegistCapRcomFunc(static_cast<int*>(out));
    default:
      return -1;
  }
}

int tlxIsConnectableModel(const char* baseModel, uint32_t optionWord) {
  if (baseModel == nullptr || *baseModel == '\0') return -1;
  const char* suffix = RegionSuffix(optionWord & 0xFF);
  if (suffix == nullptr) return -1;
  const size_t length = std::strlen(baseModel);
  const size_t suffixLength = std::strlen(suffix);
  return length >= suffixLength && std::strcmp(baseModel + length - suffixLength, suffix) == 0 ? 0 : -1;
}

std::string tlxRcomModelName() {
  std::string name = tlxCfgGet("tlx/ModelNameRCom");
  return name.empty() ? tlxCfgGet("tlx/modelname_rcom") : name;
}

void tlxRcomPackConfig(const UIRCOM_CONFIG& config, uint8_t (&out)[kRcomConfigBlockSize]) {
  std::memset(out, 0, sizeof out);
  out[0] = 1;
  out[1] = config.input;
  const std::string model = tlxRcomModelName();
  std::memcpy(out + 2, model.data(), std::min<size_t>(model.size(), 4));
  size_t at = 6;
  for (const UIRCOM_CONFIG_EQUIP& equip : config.equip) {
    out[at] = equip.kind;
    std::memcpy(out + at + 1, &equip.makerId, 2);
    std::memcpy(out + at + 3, &equip.modelId, 2);
    CopyName(equip.makerName, reinterpret_cast<char*>(out + at + 5));
    CopyName(equip.modelName, reinterpret_cast<char*>(out + at + 69));
    at += 133;
  }
}

}  // namespace tlx::link
