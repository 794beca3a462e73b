#include "link/discovery/discovery_ifaces.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <utility>

#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

constexpr TlxAddressRange kPrivateRanges[] = {
    {0x0A000000, 0xFF000000},  // 10.0.0.0/8
    {0xAC100000, 0xFFF00000},  // 172.16.0.0/12
    {0xC0A80000, 0xFFFF0000},  // 192.168.0.0/16
};

bool Within(uint32_t address, const TlxAddressRange& range) { return (address & range.mask) == range.address; }

struct Sources {
  std::mutex lock;
  std::function<std::vector<TlxIfaceInfo>()> interfaces;
  std::function<std::vector<TlxAddressRange>()> ranges;
};

Sources& sources() {
  static Sources s;
  return s;
}

std::string_view Trim(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// "a.b.c.d/prefix" into host-order address and mask.
bool ParseEntry(std::string_view text, uint32_t* address, uint32_t* mask) {
  text = Trim(text);
  const size_t slash = text.find('/');
  if (slash == std::string_view::npos) return false;
  const std::string dotted(Trim(text.substr(0, slash)));
  const std::string prefixText(Trim(text.substr(slash + 1)));
  in_addr parsed{};
  if (inet_pton(AF_INET, dotted.c_str(), &parsed) != 1) return false;
  if (prefixText.empty() || prefixText.size() > 2 || prefixText.find_first_not_of("0123456789") != std::string::npos) {
    return false;
  }
  const int prefix = std::atoi(prefixText.c_str());
  if (prefix > 32) return false;
  *address = ntohl(parsed.s_addr);
  *mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
  return true;
}

// Calls `add` with each entry of a comma-separated list; false when one does
// not parse or the list is empty.
template <typename Add>
bool ParseList(std::string_view text, Add add) {
  if (Trim(text).empty()) return false;
  while (true) {
    const size_t comma = text.find(',');
    uint32_t address = 0;
    uint32_t mask = 0;
    if (!ParseEntry(text.substr(0, comma), &address, &mask)) return false;
    add(address, mask);
    if (comma == std::string_view::npos) return true;
    text.remove_prefix(comma + 1);
  }
}

std::vector<TlxIfaceInfo> MachineInterfaces() {
  std::vector<TlxIfaceInfo> list;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) {
    tlxLog("[ERR] Failed calling WSAIoctl: error %d\n", errno);
    return list;
  }
  for (const ifaddrs* entry = all; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET || entry->ifa_netmask == nullptr) continue;
    list.push_back({ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr.s_addr),
                    ntohl(reinterpret_cast<const sockaddr_in*>(entry->ifa_netmask)->sin_addr.s_addr),
                    entry->ifa_flags});
  }
  freeifaddrs(all);
  return list;
}

}  // namespace

std::vector<uint32_t> tlxDiscoveryBroadcasts(const std::vector<TlxIfaceInfo>& interfaces,
                                             const std::vector<TlxAddressRange>& extra) {
  std::vector<uint32_t> broadcasts;
  for (const TlxIfaceInfo& entry : interfaces) {
    if ((entry.flags & IFF_UP) == 0 || (entry.flags & IFF_LOOPBACK) != 0 || (entry.flags & IFF_BROADCAST) == 0)
      continue;
    if (entry.address == INADDR_ANY || entry.address == INADDR_LOOPBACK) continue;
    bool local = false;
    for (const TlxAddressRange& range : kPrivateRanges) local = local || Within(entry.address, range);
    for (const TlxAddressRange& range : extra) local = local || Within(entry.address, range);
    if (!local) continue;
    broadcasts.push_back((entry.address & entry.mask) | ~entry.mask);
    if (broadcasts.size() == kDiscoveryIfaceMax) break;
  }
  if (broadcasts.empty()) tlxLog("[ERR] No interface\n");
  return broadcasts;
}

std::vector<TlxIfaceInfo> tlxDiscoveryInterfaces() {
  {
    Sources& s = sources();
    std::lock_guard guard(s.lock);
    if (s.interfaces) return s.interfaces();
  }
  if (const char* text = std::getenv("TLX_DISCOVERY_IFACES")) {
    std::vector<TlxIfaceInfo> list;
    if (tlxParseDiscoveryInterfaces(text, &list)) return list;
    tlxLog("[ERR] TLX_DISCOVERY_IFACES ignored\n");
  }
  return MachineInterfaces();
}

std::vector<TlxAddressRange> tlxDiscoveryExtraRanges() {
  {
    Sources& s = sources();
    std::lock_guard guard(s.lock);
    if (s.ranges) return s.ranges();
  }
  std::vector<TlxAddressRange> list;
  if (const char* text = std::getenv("TLX_DISCOVERY_RANGES")) {
    if (!tlxParseDiscoveryRanges(text, &list)) tlxLog("[ERR] TLX_DISCOVERY_RANGES ignored\n");
  }
  return list;
}

void tlxSetDiscoveryInterfaceSource(std::function<std::vector<TlxIfaceInfo>()> interfaces,
                                    std::function<std::vector<TlxAddressRange>()> ranges) {
  Sources& s = sources();
  std::lock_guard guard(s.lock);
  s.interfaces = std::move(interfaces);
  s.ranges = std::move(ranges);
}

bool tlxParseDiscoveryInterfaces(std::string_view text, std::vector<TlxIfaceInfo>* out) {
  std::vector<TlxIfaceInfo> list;
  if (!ParseList(text, [&](uint32_t address, uint32_t mask) {
        list.push_back({address, mask, IFF_UP | IFF_BROADCAST});
      })) {
    return false;
  }
  *out = std::move(list);
  return true;
}

bool tlxParseDiscoveryRanges(std::string_view text, std::vector<TlxAddressRange>* out) {
  std::vector<TlxAddressRange> list;
  if (!ParseList(text, [&](uint32_t address, uint32_t mask) { list.push_back({address & mask, mask}); })) return false;
  *out = std::move(list);
  return true;
}

}  // namespace tlx::link
