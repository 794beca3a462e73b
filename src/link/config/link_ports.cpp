#include "link/config/link_ports.h"

#include <arpa/inet.h>

#include <charconv>
#include <cstdlib>

#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

struct PortName {
  std::string_view name;
  uint16_t TlxLinkPorts::*field;
};

constexpr PortName kPortNames[] = {
    {"hnet_recv", &TlxLinkPorts::hnetRecv},     {"hnet_send", &TlxLinkPorts::hnetSend},
    {"base_hnet", &TlxLinkPorts::baseHnet},     {"kach_server", &TlxLinkPorts::kachServer},
    {"kach_client", &TlxLinkPorts::kachClient}, {"base_kach", &TlxLinkPorts::baseKach},
    {"search", &TlxLinkPorts::search},          {"reply", &TlxLinkPorts::reply},
};

// The text up to the next comma, taken off `rest`.
std::string_view NextItem(std::string_view& rest) {
  const size_t comma = rest.find(',');
  const std::string_view item = rest.substr(0, comma);
  rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  return item;
}

bool IsAddress(std::string_view text) {
  in_addr address;
  return text.size() < INET_ADDRSTRLEN && inet_pton(AF_INET, std::string(text).c_str(), &address) == 1;
}

template <typename Table>
Table FromEnvironment(const char* variable, bool (*parse)(std::string_view, Table*)) {
  Table table;
  const char* text = std::getenv(variable);
  if (text != nullptr && *text != '\0' && !parse(text, &table)) {
    tlxLog("[ERR] %s ignored: \"%s\"\n", variable, text);
  }
  return table;
}

}  // namespace

bool tlxParseLinkPorts(std::string_view text, TlxLinkPorts* out) {
  TlxLinkPorts ports = *out;
  std::string_view rest = text;
  for (bool more = true; more;) {
    more = rest.find(',') != std::string_view::npos;
    const std::string_view item = NextItem(rest);
    const size_t equals = item.find('=');
    if (equals == std::string_view::npos) return false;
    const std::string_view name = item.substr(0, equals);
    const std::string_view digits = item.substr(equals + 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (error != std::errc() || end != digits.data() + digits.size() || port < 1 || port > 65535) return false;
    const PortName* entry = nullptr;
    for (const PortName& candidate : kPortNames) {
      if (candidate.name == name) entry = &candidate;
    }
    if (entry == nullptr) return false;
    ports.*(entry->field) = static_cast<uint16_t>(port);
  }
  *out = ports;
  return true;
}

bool tlxParseLinkDirectAddrs(std::string_view text, TlxLinkDirectAddrs* out) {
  std::string_view rest = text;
  const std::string_view player = NextItem(rest);
  const std::string_view base = rest;
  if (!IsAddress(player) || !IsAddress(base)) return false;
  *out = TlxLinkDirectAddrs{std::string(player), std::string(base)};
  return true;
}

const TlxLinkPorts& tlxLinkPorts() {
  static const TlxLinkPorts ports = FromEnvironment<TlxLinkPorts>("TLX_LINK_PORTS", tlxParseLinkPorts);
  return ports;
}

const TlxLinkDirectAddrs& tlxLinkDirectAddrs() {
  static const TlxLinkDirectAddrs addresses =
      FromEnvironment<TlxLinkDirectAddrs>("TLX_LINK_DIRECT_ADDRS", tlxParseLinkDirectAddrs);
  return addresses;
}

}  // namespace tlx::link
