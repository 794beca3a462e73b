#include "link/network/hnet_relay.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "link/config/tlx_cfg.h"
#include "link/network/kach.h"
#include "link/network/tlx_msg.h"
#include "link/os/event_mgr.h"
#include "link/os/tlx_log.h"

namespace tlx::link {
namespace {

inline constexpr int kNoticeSize = 16;

// The texts of the two notice blocks, each bounded to its field.
struct Notices {
  std::mutex lock;
  std::string port, useRavix, useEtherAV;  // the Ravix-port block: 8, 4 and 4 bytes
  std::string avAddress;                   // the AV-address block: 16 bytes
  bool portPending = false;
  bool addressPending = false;
};

Notices& notices() {
  static Notices instance;
  return instance;
}

std::string BoundedText(const uint8_t* field, size_t width) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, width));
}

HnetRoute Drop(const char* why, const char* name, int type, int length) {
  tlxLog("[ERR] HnetMgr: dropped a message from the base (%s) name=%.8s type=%d length=%d\n", why, name, type, length);
  return HnetRoute::kDropped;
}

HnetRoute RouteEvent(const TLX_MSG_HEADER& header, const uint8_t* payload, bool localNetwork) {
  const auto id = static_cast<uint32_t>(header.type);
  if (std::find(std::begin(kHnetRelayedEvents), std::end(kHnetRelayedEvents), id) == std::end(kHnetRelayedEvents) ||
      header.length > kEventPayloadMax) {
    return Drop("event", header.name, header.type, header.length);
  }
  if (localNetwork && (id == EVENT_ID_TV || id == EVENT_ID_NETWORK) && !KACH_LinkUp()) {
    return Drop("event while the link is down", header.name, header.type, header.length);
  }
  return eventMgrPost(id, payload, header.length, 0) == 0 ? HnetRoute::kRouted
                                                         : Drop("event queue", header.name, header.type, header.length);
}

HnetRoute RouteNotice(const TLX_MSG_HEADER& header, const uint8_t* payload) {
  if ((header.type != 0 && header.type != 1) || header.length < kNoticeSize) {
    return Drop("notice", header.name, header.type, header.length);
  }
  tlxLog("[INFO] Receive a notify message : t=%d l=%d\n", header.type, header.length);
  Notices& n = notices();
  std::lock_guard guard(n.lock);
  if (header.type == 0) {
    n.port = BoundedText(payload, 8);
    n.useRavix = BoundedText(payload + 8, 4);
    n.useEtherAV = BoundedText(payload + 12, 4);
    n.portPending = true;
  } else {
    n.avAddress = BoundedText(payload, kNoticeSize);
    n.addressPending = true;
  }
  return HnetRoute::kNotice;
}

}  // namespace

HnetRoute HnetRelay_Route(const uint8_t* data, int size, bool localNetwork) {
  if (data == nullptr || size < kMsgHeaderSize) return Drop("short", "", 0, size);
  TLX_MSG_HEADER header;
  std::memcpy(&header, data, kMsgHeaderSize);
  if (std::memchr(header.name, '\0', sizeof header.name) == nullptr) {
    return Drop("name", "", header.type, header.length);
  }
  if (header.length < 0 || header.length > size - kMsgHeaderSize) {
    return Drop("length", header.name, header.type, header.length);
  }
  const uint8_t* payload = data + kMsgHeaderSize;
  if (std::strcmp(header.name, "HNET") == 0) return Drop("reflected", header.name, header.type, header.length);
  if (std::strcmp(header.name, "EVENT") == 0) return RouteEvent(header, payload, localNetwork);
  if (std::strcmp(header.name, "NOTIFY") == 0) return RouteNotice(header, payload);
  MSG_Q_ID queue = nullptr;
  int maxLength = 0;
  if (!tlxMsgFindGroup(header.name, &queue, &maxLength)) return Drop("group", header.name, header.type, header.length);
  if (header.length > maxLength) return Drop("too long for the group", header.name, header.type, header.length);
  if (msgQSend(queue, data, kMsgHeaderSize + header.length, 0, 0) != 0) {
    return Drop("queue full", header.name, header.type, header.length);
  }
  return HnetRoute::kRouted;
}

void HnetRelay_SaveNotices() {
  Notices& n = notices();
  std::unique_lock lock(n.lock);
  if (n.portPending) {
    const std::string port = n.port, useRavix = n.useRavix, useEtherAV = n.useEtherAV;
    n.portPending = false;
    lock.unlock();
    tlxCfgSet("network/ravix/port", port.c_str());
    tlxCfgSet("network/ravix/useRavix", useRavix.c_str());
    tlxCfgSet("network/etherav/useEtherAV", useEtherAV.c_str());
    lock.lock();
  }
  if (n.addressPending) {
    const std::string address = n.avAddress;
    n.addressPending = false;
    lock.unlock();
    tlxCfgSet("network/etherav/ipaddr", address.c_str());
  }
}

void HnetRelay_ClearNotices() {
  Notices& n = notices();
  std::lock_guard guard(n.lock);
  n.port.clear();
  n.useRavix.clear();
  n.useEtherAV.clear();
  n.avAddress.clear();
  n.portPending = n.addressPending = false;
}

}  // namespace tlx::link
