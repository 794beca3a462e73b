// The RTSP client of the stream session: RTSP always carried over the base
// station's HTTP tunnel, a GET connection that receives the answers and the
// interleaved RTP, and a POST connection that carries the requests
// base64-encoded. Each connection is authenticated with the digest exchange
// before its first HTTP byte.
#pragma once

#include <netinet/in.h>

#include <functional>
#include <string>

#include "rtsp/rtsp_client.h"
#include "win32/types.h"

class TunnelingRTSPClient : public RTSPClient {
 public:
  // Raises a graph event (EC_TLX_AUTH_BEGIN, EC_TLX_AUTH_END) on the filter.
  using EventCallback = std::function<void(long code)>;
  // What the GET answer's header may take.
  static constexpr size_t kGetResponseLimit = 5000;
  // The GET connection's receive buffer.
  static constexpr unsigned kReceiveBufferBytes = 73000;

  static TunnelingRTSPClient* createNew(UsageEnvironment& env, int verbosity, const char* applicationName);
  ~TunnelingRTSPClient() override;

  void setEventCallback(EventCallback callback) { fEvents = std::move(callback); }
  void setAuthenticate(bool on) { fAuthenticate = on; }
  bool authenticate() const { return fAuthenticate; }
  // Connections then go to the proxy named by an "rtsp://host:port/..." URL,
  // with the whole URL as the request target; false when the URL does not
  // parse. clearProxy goes direct again.
  bool setProxy(const char* proxyUrl);
  void clearProxy() { fHaveProxy = false; }

  // Opens both tunnel connections for the URL. S_OK, or the failure:
  // HRESULT_FROM_WIN32 of a socket error, TLX_E_TUNNEL_GET for a GET answer
  // that is missing or not 200, or the authentication's result. The failure
  // is also kept as the last result.
  HRESULT OpenTunnelConnection(const char* url);
  HRESULT lastResult() const { return fLastResult; }

  // Closes both connections and forgets the session.
  void Close();

 protected:
  TunnelingRTSPClient(UsageEnvironment& env, int verbosity, const char* applicationName);
  // Base64 of the request, sent whole on the POST connection.
  bool sendRequest(const std::string& text) override;

 private:
  HRESULT Fail(HRESULT hr, const std::string& what);
  // A connected, registered socket, or an empty one with *hr set.
  tlx::win32::Descriptor ConnectSocket(const sockaddr_in& address, bool largeReceiveBuffer, HRESULT* hr);
  HRESULT Authenticate(int socket);
  // The tunnel request text for "GET" or "POST".
  std::string TunnelRequest(const char* method, const std::string& extraHeaders) const;

  EventCallback fEvents;
  bool fAuthenticate = true;
  bool fHaveProxy = false;
  sockaddr_in fProxyAddress{};
  unsigned short fProxyPort = 0;
  bool fTunnel = false;
  std::string fUrl;
  std::string fHostText;
  std::string fTarget;
  unsigned short fPort = 0;
  int fGet = -1;  // owned by the client once handed over
  tlx::win32::Descriptor fPost;
  HRESULT fLastResult = S_OK;
};
