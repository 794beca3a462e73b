// The network configuration categories of the network manager: their fixed
// layouts, their payload sizes, the player's store keys behind them, and the
// defaults of the network settings. Text fields are NUL-terminated in their
// slots.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tlx::link {

// Category numbers (the cfgType argument).
enum AnetCfgType : int {
  ANET_CFG_ETHER_STATIC_TYPE = 1,
  ANET_CFG_ETHER_DHCP_TYPE = 2,
  ANET_CFG_BASE3_TYPE = 3,
  ANET_CFG_BASE4_TYPE = 4,
  ANET_CFG_BASE5_TYPE = 5,
  ANET_CFG_RAVIX_TYPE = 6,
  ANET_CFG_CONNTYPE_TYPE = 7,
  ANET_CFG_IFTYPE_TYPE = 8,
  ANET_CFG_ETHERAV_TYPE = 9,
  ANET_CFG_WLAN_CONNTYPE_TYPE = 10,
  ANET_CFG_WLAN_STATIC_TYPE = 11,
  ANET_CFG_WLAN_DHCP_TYPE = 12,
  ANET_CFG_DDNS_TYPE = 13,
  ANET_CFG_DDNS2_TYPE = 14,
};

struct ANET_CFG_STATIC {  // categories 1 and 11
  char useDhcp[4];
  char ipAddress[18];
  char subnetMask[18];
  char gateway[18];
  char dns1[18];
  char dns2[18];
  char unused[20];
};
static_assert(sizeof(ANET_CFG_STATIC) == 114 && offsetof(ANET_CFG_STATIC, ipAddress) == 4 &&
              offsetof(ANET_CFG_STATIC, subnetMask) == 22 && offsetof(ANET_CFG_STATIC, gateway) == 40 &&
              offsetof(ANET_CFG_STATIC, dns1) == 58 && offsetof(ANET_CFG_STATIC, dns2) == 76);

struct ANET_CFG_DHCP {  // categories 2 and 12
  char useDhcp[4];
  char unused[54];
  char dns1[18];
  char dns2[18];
  char hostName[152];
  char useAutoDns[4];
};
static_assert(sizeof(ANET_CFG_DHCP) == 250 && offsetof(ANET_CFG_DHCP, dns1) == 58 &&
              offsetof(ANET_CFG_DHCP, dns2) == 76 && offsetof(ANET_CFG_DHCP, hostName) == 94 &&
              offsetof(ANET_CFG_DHCP, useAutoDns) == 246);

struct ANET_CFG_RAVIX {  // category 6
  char useRavix[4];
  char port[12];
  char hostName[52];
};
static_assert(sizeof(ANET_CFG_RAVIX) == 68 && offsetof(ANET_CFG_RAVIX, port) == 4 &&
              offsetof(ANET_CFG_RAVIX, hostName) == 16);

struct ANET_CFG_CONNTYPE {  // categories 7 and 10
  char connType[8];
};
static_assert(sizeof(ANET_CFG_CONNTYPE) == 8);

struct ANET_CFG_ETHERAV {  // category 9
  char useEtherAV[4];
  char ipAddress[18];
};
static_assert(sizeof(ANET_CFG_ETHERAV) == 22 && offsetof(ANET_CFG_ETHERAV, ipAddress) == 4);

struct ANET_CFG_DDNS {  // category 13
  char userName1[67];
  char userName2[65];
  char password[20];
  char hostName1[67];
  char hostName2[65];
  char ipUpdate[18];
  char ipHostName1[67];
  char ipHostName2[65];
  char updateTime[4];
};
static_assert(sizeof(ANET_CFG_DDNS) == 438 && offsetof(ANET_CFG_DDNS, userName2) == 67 &&
              offsetof(ANET_CFG_DDNS, password) == 132 && offsetof(ANET_CFG_DDNS, hostName1) == 152 &&
              offsetof(ANET_CFG_DDNS, hostName2) == 219 && offsetof(ANET_CFG_DDNS, ipUpdate) == 284 &&
              offsetof(ANET_CFG_DDNS, ipHostName1) == 302 && offsetof(ANET_CFG_DDNS, ipHostName2) == 369 &&
              offsetof(ANET_CFG_DDNS, updateTime) == 434);

// Sizes of the base-station-only categories, carried as raw bytes.
inline constexpr int kAnetCfgBase3Size = 226;
inline constexpr int kAnetCfgBase4Size = 208;
inline constexpr int kAnetCfgBase5Size = 1;

// Connection kinds.
inline constexpr int kAnetKindUnknown = 10;
inline constexpr int kAnetKindStatic = 11;
inline constexpr int kAnetKindDhcp = 12;

// The payload size of a category; 0 (logged) for an unknown one.
int AnetMgrConfig_GetPayloadSize(int cfgType);
// Reads a category the player keeps (6, 7, 9) from the store into `out`,
// every text cut to its slot and terminated: 1, or 6 for another category
// or a null `out`.
int AnetMgrConfig_Read(int cfgType, void* out);
// Writes a category the player keeps (1, 2, 6, 7, 9, 10, 11, 12) to the
// store, each text read no further than its slot: 1; -1 for category 8 or
// any other (logged), 6 for null data.
int AnetMgrConfig_Write(int cfgType, const void* data);
// Writes each network default whose key reads empty.
void AnetMgrConfig_WriteDefaults();
// The connection kind of a kind text: "EtherS" 11, "EtherD" 12, else 10.
int AnetMgrConfig_ParseKind(const char* text);

}  // namespace tlx::link
