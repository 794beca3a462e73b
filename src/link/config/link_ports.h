// The fixed ports and direct-link addresses of the link library, in one table.
// The production values are the system's; TLX_LINK_PORTS and
// TLX_LINK_DIRECT_ADDRS (documented in the README) move them for tests. Every
// manager takes its ports and addresses from here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tlx::link {

struct TlxLinkPorts {
  uint16_t hnetRecv = 7000;    // the player's control-datagram receive socket
  uint16_t hnetSend = 7001;    // the player's control-datagram send socket
  uint16_t baseHnet = 7000;    // the base station's control-datagram port
  uint16_t kachServer = 7002;  // the player's keep-alive server socket
  uint16_t kachClient = 7003;  // the player's keep-alive client socket
  uint16_t baseKach = 7002;    // the base station's keep-alive port
  uint16_t search = 7777;      // where discovery sends its search
  uint16_t reply = 7777;       // the first port discovery's replies are bound to
};

// The direct-link addresses as dotted text: the player's own and the base
// station's. Empty texts leave them to the configuration store.
struct TlxLinkDirectAddrs {
  std::string player;
  std::string base;
};

// The table, read from the environment once. A variable that does not parse
// is ignored whole (with a log line), so the production values stay.
const TlxLinkPorts& tlxLinkPorts();
const TlxLinkDirectAddrs& tlxLinkDirectAddrs();

// The parsers behind them. TLX_LINK_PORTS: "name=port,..." with any of the
// names hnet_recv, hnet_send, base_hnet, kach_server, kach_client, base_kach,
// search, reply, each port 1..65535. TLX_LINK_DIRECT_ADDRS: "<player>,<base>",
// each a dotted IPv4 address. False, with `out` unchanged, for text that
// does not parse.
bool tlxParseLinkPorts(std::string_view text, TlxLinkPorts* out);
bool tlxParseLinkDirectAddrs(std::string_view text, TlxLinkDirectAddrs* out);

}  // namespace tlx::link
