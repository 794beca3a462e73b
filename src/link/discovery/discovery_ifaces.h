// The network interfaces discovery searches on: each usable interface's
// directed broadcast address. TLX_DISCOVERY_IFACES and TLX_DISCOVERY_RANGES
// (documented in the README), or a test's source, stand in for the
// machine's own list.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace tlx::link {

inline constexpr int kDiscoveryIfaceMax = 16;

// One IPv4 interface: address and mask in host order, and its IFF_* flags.
struct TlxIfaceInfo {
  uint32_t address;
  uint32_t mask;
  unsigned flags;
};

// A range of addresses that counts as local: address AND mask == address.
struct TlxAddressRange {
  uint32_t address;
  uint32_t mask;
};

// The directed broadcast addresses ((address AND mask) OR NOT mask, host
// order) of the interfaces that are up, not loopback, broadcast-capable and
// local: not 0.0.0.0 or 127.0.0.1, and within 10.0.0.0/8, 172.16.0.0/12,
// 192.168.0.0/16 or one of `extra`. At most kDiscoveryIfaceMax, in list order.
std::vector<uint32_t> tlxDiscoveryBroadcasts(const std::vector<TlxIfaceInfo>& interfaces,
                                             const std::vector<TlxAddressRange>& extra);

// The interface list: the test source when one is set, else
// TLX_DISCOVERY_IFACES when it is set and parses, else the machine's IPv4
// interfaces (getifaddrs; empty, logged, when that fails).
std::vector<TlxIfaceInfo> tlxDiscoveryInterfaces();
// The extra local ranges: the test source's, else TLX_DISCOVERY_RANGES, else
// none.
std::vector<TlxAddressRange> tlxDiscoveryExtraRanges();

// Replaces both lists for tests; empty functions restore the normal ones.
void tlxSetDiscoveryInterfaceSource(std::function<std::vector<TlxIfaceInfo>()> interfaces,
                                    std::function<std::vector<TlxAddressRange>()> ranges);

// "address/prefix[,address/prefix...]" (dotted IPv4, prefix 0..32, blanks
// around the parts allowed) as interfaces that are up and broadcast-capable,
// or as ranges (the address cut to its prefix). False, with `out` unchanged,
// for text that does not parse.
bool tlxParseDiscoveryInterfaces(std::string_view text, std::vector<TlxIfaceInfo>* out);
bool tlxParseDiscoveryRanges(std::string_view text, std::vector<TlxAddressRange>* out);

}  // namespace tlx::link
