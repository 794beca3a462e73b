#include "link/network/anet_config.h"

#include <cstring>
#include <string>

#include "link/config/tlx_cfg.h"
#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

struct Field {
  size_t offset;
  size_t width;
  const char* key;
};

struct Category {
  int type;
  Field fields[6];
  int count;
  bool readable;
};

#define STATIC_FIELDS(prefix)                                                                  \
  {offsetof(ANET_CFG_STATIC, useDhcp), 4, prefix "useDHCP"},                                   \
      {offsetof(ANET_CFG_STATIC, ipAddress), 18, prefix "IPaddress"},                          \
      {offsetof(ANET_CFG_STATIC, subnetMask), 18, prefix "subnetmask"},                        \
      {offsetof(ANET_CFG_STATIC, gateway), 18, prefix "dftgateway"},                           \
      {offsetof(ANET_CFG_STATIC, dns1), 18, prefix "dns1"}, {offsetof(ANET_CFG_STATIC, dns2), 18, prefix "dns2"}
// The DNS pair comes last: it is written only when the automatic-DNS flag is "0".
#define DHCP_FIELDS(prefix)                                                                    \
  {offsetof(ANET_CFG_DHCP, useDhcp), 4, prefix "useDHCP"},                                     \
      {offsetof(ANET_CFG_DHCP, hostName), 152, prefix "dhcp/hostname"},                        \
      {offsetof(ANET_CFG_DHCP, useAutoDns), 4, prefix "dhcp/useAutoDns"},                      \
      {offsetof(ANET_CFG_DHCP, dns1), 18, prefix "dns1"}, {offsetof(ANET_CFG_DHCP, dns2), 18, prefix "dns2"}

constexpr Category kCategories[] = {
    {ANET_CFG_ETHER_STATIC_TYPE, {STATIC_FIELDS("network/ether/")}, 6, false},
    {ANET_CFG_ETHER_DHCP_TYPE, {DHCP_FIELDS("network/ether/")}, 5, false},
    {ANET_CFG_RAVIX_TYPE,
     {{offsetof(ANET_CFG_RAVIX, useRavix), 4, "network/ravix/useRavix"},
      {offsetof(ANET_CFG_RAVIX, port), 12, "network/ravix/port"},
      {offsetof(ANET_CFG_RAVIX, hostName), 52, "network/ravix/hostname"}},
     3,
     true},
    {ANET_CFG_CONNTYPE_TYPE, {{0, 8, "network/conntype"}}, 1, true},
    {ANET_CFG_ETHERAV_TYPE,
     {{offsetof(ANET_CFG_ETHERAV, useEtherAV), 4, "network/etherav/useEtherAV"},
      {offsetof(ANET_CFG_ETHERAV, ipAddress), 18, "network/etherav/ipaddr"}},
     2,
     true},
    {ANET_CFG_WLAN_CONNTYPE_TYPE, {{0, 8, "network/wlan/conntype"}}, 1, false},
    {ANET_CFG_WLAN_STATIC_TYPE, {STATIC_FIELDS("network/wlan/")}, 6, false},
    {ANET_CFG_WLAN_DHCP_TYPE, {DHCP_FIELDS("network/wlan/")}, 5, false},
};

#undef STATIC_FIELDS
#undef DHCP_FIELDS

constexpr int kDhcpDnsFields = 2;

struct Default {
  const char* key;
  const char* value;
};
constexpr Default kDefaults[] = {
    {"network/conntype", "EtherD"},
    {"network/ether/useDHCP", "1"},
    {"network/ether/dhcp/useAutoDns", "1"},
    {"network/ravix/port", "5021"},
    {"network/ravix/useRavix", "0"},
    {"network/ravix/rate", "3"},
    {"network/etherav/useEtherAV", "0"},
    {"network/wlan/conntype", "EtherD"},
    {"network/wlan/useDHCP", "1"},
    {"network/wlan/dhcp/useAutoDns", "1"},
};

const Category* Find(int cfgType) {
  for (const Category& category : kCategories) {
    if (category.type == cfgType) return &category;
  }
  return nullptr;
}

bool IsDhcp(int cfgType) { return cfgType == ANET_CFG_ETHER_DHCP_TYPE || cfgType == ANET_CFG_WLAN_DHCP_TYPE; }

// The text of a slot: at most width - 1 characters, up to its first NUL.
std::string SlotText(const uint8_t* record, const Field& field) {
  const char* text = reinterpret_cast<const char*>(record + field.offset);
  return std::string(text, strnlen(text, field.width - 1));
}

}  // namespace

int AnetMgrConfig_GetPayloadSize(int cfgType) {
  switch (cfgType) {
    case ANET_CFG_ETHER_STATIC_TYPE:
    case ANET_CFG_WLAN_STATIC_TYPE:
      return sizeof(ANET_CFG_STATIC);
    case ANET_CFG_ETHER_DHCP_TYPE:
    case ANET_CFG_WLAN_DHCP_TYPE:
      return sizeof(ANET_CFG_DHCP);
    case ANET_CFG_BASE3_TYPE:
      return kAnetCfgBase3Size;
    case ANET_CFG_BASE4_TYPE:
      return kAnetCfgBase4Size;
    case ANET_CFG_BASE5_TYPE:
      return kAnetCfgBase5Size;
    case ANET_CFG_RAVIX_TYPE:
      return sizeof(ANET_CFG_RAVIX);
    case ANET_CFG_CONNTYPE_TYPE:
    case ANET_CFG_IFTYPE_TYPE:
    case ANET_CFG_WLAN_CONNTYPE_TYPE:
      return sizeof(ANET_CFG_CONNTYPE);
    case ANET_CFG_ETHERAV_TYPE:
      return sizeof(ANET_CFG_ETHERAV);
    case ANET_CFG_DDNS_TYPE:
      return sizeof(ANET_CFG_DDNS);
    default:
      tlxLog("[INFO] AnetMgrConfig_GetPayloadSize:unknown cfgType[%d]\n", cfgType);
      return 0;
  }
}

int AnetMgrConfig_Read(int cfgType, void* out) {
  const Category* category = Find(cfgType);
  if (cfgType == ANET_CFG_IFTYPE_TYPE) tlxLog("[INFO] not supported anymore\n");
  if (out == nullptr || category == nullptr || !category->readable) {
    if (cfgType != ANET_CFG_IFTYPE_TYPE) tlxLog("[ERR] unknown category[%d]\n", cfgType);
    return 6;
  }
  auto* record = static_cast<uint8_t*>(out);
  std::memset(record, 0, AnetMgrConfig_GetPayloadSize(cfgType));
  for (int i = 0; i < category->count; ++i) {
    const Field& field = category->fields[i];
    const std::string text = tlxCfgGet(field.key);
    std::memcpy(record + field.offset, text.data(), text.size() < field.width ? text.size() : field.width - 1);
  }
  return 1;
}

int AnetMgrConfig_Write(int cfgType, const void* data) {
  if (cfgType == ANET_CFG_IFTYPE_TYPE) {
    tlxLog("[INFO] ANET_CFG_IFTYPE isn't supported\n");
    return -1;
  }
  const Category* category = Find(cfgType);
  if (category == nullptr) {
    tlxLog("[ERR] WriteConfig failed\n");
    return -1;
  }
  if (data == nullptr) return 6;
  const auto* record = static_cast<const uint8_t*>(data);
  int count = category->count;
  if (IsDhcp(cfgType) && SlotText(record, category->fields[2]) != "0") count -= kDhcpDnsFields;
  for (int i = 0; i < count; ++i) {
    const Field& field = category->fields[i];
    tlxCfgSet(field.key, SlotText(record, field).c_str());
  }
  return 1;
}

void AnetMgrConfig_WriteDefaults() {
  bool wrote = false;
  for (const Default& fallback : kDefaults) {
    if (!tlxCfgGet(fallback.key).empty()) continue;
    tlxCfgSet(fallback.key, fallback.value);
    wrote = true;
  }
  if (wrote) tlxLog("[ERR] Default Network config was set.\n");
}

int AnetMgrConfig_ParseKind(const char* text) {
  if (text == nullptr) return kAnetKindUnknown;
  if (std::strcmp(text, "EtherS") == 0) return kAnetKindStatic;
  if (std::strcmp(text, "EtherD") == 0) return kAnetKindDhcp;
  return kAnetKindUnknown;
}

}  // namespace tlx::link
