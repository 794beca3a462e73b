// The client of the internet link component ("Vexlink.dll"): one link
// manager per process, connected to the base station by tlxRavixConnect, and
// a sink that hands every control message the component receives to the
// installed callback. Every function may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "com/unknown.h"

namespace tlx::link {

// Called on the component's receive thread with one control message.
using TLX_LINK_CALLBACK = void (*)(const uint8_t* data, uint32_t length);

// The result of tlxLinkMgrCall when the component cannot send.
inline constexpr HRESULT TLX_E_LINK_SEND = static_cast<HRESULT>(0x80041001);

// Loads the component and makes its link manager through the module's class
// factory; when either fails, through the process's class registry. True when
// the object exists (also when it existed already).
bool tlxLinkMgrCreate();
// 0 when connected (also already before: the component is not called), -1
// without an object, else the low 16 bits of the component's failure. A
// tlxLinkMgrDisconnect from another thread aborts a connect under way.
int tlxLinkMgrConnect(const char* host, int port, const char* proxyHost, int proxyPort);
// Aborts a connect under way, or ends the connection. False without an
// object or a connection.
bool tlxLinkMgrDisconnect();
// Disconnects, releases the object and the sink and unloads the component.
void tlxLinkMgrRelease();
// Sends one control message: 0, or TLX_E_LINK_SEND. May be called from the
// callback.
HRESULT tlxLinkMgrCall(const void* data, uint16_t length);
// Installs the callback (null: none) in a new sink, which the component gets
// at once when connected and at each connect otherwise. 0, or -1 when the
// component refuses it.
int tlxLinkMgrSetCallback(TLX_LINK_CALLBACK callback);
bool tlxLinkMgrConnected();

// The base station's host and port for the internet link, from
// "network/ravix/hostname" and "network/ravix/port" (decimal; 0 when not a
// number).
struct RavixAddress {
  std::string host;
  int port;
};
RavixAddress tlxRavixAddress();

// Connects to the base station of "network/ravix/hostname" and
// "network/ravix/port", through the proxy of the authentication target when
// its flag is set, and returns the result code of the connection (0 success).
int tlxRavixConnect();
// The result code of a tlxLinkMgrConnect result.
int tlxRavixConnectCode(int connectResult);

}  // namespace tlx::link
