#include "tunneling_rtsp_client.h"

#include <netinet/tcp.h>
#include <sys/socket.h>

#include "auth/tlx_authentication.h"
#include "filters/streaming_client/tlx_stream_source_control.h"
#include "rtsp/rtsp_url_socket.h"
#include "utility/tlx_utility.h"

namespace {

constexpr unsigned long kSessionCookie = 0;
// Winsock's "host not found", for a server name that does not resolve.
constexpr DWORD kWsaHostNotFound = 11001;

bool SendAll(int socket, const std::string& text) {
  return tlxsend(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

HRESULT SocketFailure() { return HRESULT_FROM_WIN32(static_cast<DWORD>(GetLastSocketError())); }

}  // namespace

TunnelingRTSPClient* TunnelingRTSPClient::createNew(UsageEnvironment& env, int verbosity,
                                                     const char* applicationName) {
  return new TunnelingRTSPClient(env, verbosity, applicationName);
}

TunnelingRTSPClient::TunnelingRTSPClient(UsageEnvironment& env, int verbosity, const char* applicationName)
    : RTSPClient(env, verbosity, applicationName) {}

TunnelingRTSPClient::~TunnelingRTSPClient() { Close(); }

bool TunnelingRTSPClient::setProxy(const char* proxyUrl) {
  std::string suffix;
  if (!parseRTSPURL(envir(), proxyUrl, &fProxyAddress, &fProxyPort, &suffix)) return false;
  fHaveProxy = true;
  return true;
}

HRESULT TunnelingRTSPClient::Fail(HRESULT hr, const std::string& what) {
  envir().setResultMsg(what);
  fLastResult = hr;
  return hr;
}

tlx::win32::Descriptor TunnelingRTSPClient::ConnectSocket(const sockaddr_in& address, bool largeReceiveBuffer,
                                                          HRESULT* hr) {
  tlx::win32::Descriptor socket = setupStreamSocket(envir());
  if (!socket) {
    *hr = Fail(HRESULT_FROM_WIN32(static_cast<DWORD>(GetLastSocketError())), "socket() failed");
    return socket;
  }
  if (largeReceiveBuffer) {
    increaseReceiveBufferTo(envir(), socket.get(), kReceiveBufferBytes);
    const int one = 1;
    setsockopt(socket.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  }
  if (tlxConnect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *hr = Fail(SocketFailure(), "connect() failed: " + std::to_string(GetLastSocketError()));
    return {};
  }
  tlxRegisterSocket(socket.get());
  *hr = S_OK;
  return socket;
}

HRESULT TunnelingRTSPClient::Authenticate(int socket) {
  const unsigned short port = fHaveProxy ? fProxyPort : fPort;
  const HRESULT hr = TlxRavixAuthentication(socket, fHostText.c_str(), port, fHaveProxy ? 1 : 0);
  return hr == S_OK ? S_OK : Fail(hr, "authentication failed");
}

std::string TunnelingRTSPClient::TunnelRequest(const char* method, const std::string& extraHeaders) const {
  std::string target = fTarget;
  // Through a proxy the target is the whole URL, with http as its scheme.
  if (fHaveProxy && target.size() >= 4) target.replace(0, 4, "http");
  return std::string(method) + " " + target + " HTTP/1.0\r\nHOST: " + fHostText + " \r\n" + userAgentHeaderLine() +
         "X-SessionCookie: " + std::to_string(kSessionCookie) + "\r\n" + extraHeaders + "Pragma:no-cache\r\n" +
         "Cache-control:no-cache\r\n" +
         (std::string(method) == "POST" ? "Content-Length:32767\r\nExpires: Sun, 9 Jan 1972 00:00:00 GMT\r\n" : "") +
         "\r\n";
}

HRESULT TunnelingRTSPClient::OpenTunnelConnection(const char* url) {
  fUrl = url;
  fLastResult = S_OK;
  static const std::string kScheme = "rtsp://";
  const size_t hostStart = fUrl.compare(0, kScheme.size(), kScheme) == 0 ? kScheme.size() : 0;
  fHostText = fUrl.substr(hostStart, fUrl.find(':', hostStart) - hostStart);
  sockaddr_in address{};
  std::string suffix;
  if (!parseRTSPURL(envir(), url, &address, &fPort, &suffix)) {
    return Fail(HRESULT_FROM_WIN32(kWsaHostNotFound), envir().getResultMsg());
  }
  fTarget = fHaveProxy ? fUrl : (suffix.empty() ? "/" : suffix);
  const sockaddr_in& peer = fHaveProxy ? fProxyAddress : address;

  HRESULT hr = S_OK;
  tlx::win32::Descriptor get = ConnectSocket(peer, true, &hr);
  if (!get) return hr;
  fGet = get.get();
  // The client owns the GET connection from here, so a failure closes it.
  setConnection(std::move(get));
  if (fAuthenticate) {
    if (fEvents) fEvents(EC_TLX_AUTH_BEGIN);
    if ((hr = Authenticate(fGet)) != S_OK) return hr;
  }
  fTunnel = true;
  if (!SendAll(fGet, TunnelRequest("GET", "Accept: application/x-rtsp-rtp-interleaved\r\n"))) {
    return Fail(SocketFailure(), "GET send() failed: ");
  }
  std::string header;
  if (!readHttpResponseHeader(&header, kGetResponseLimit)) {
    return Fail(TLX_E_TUNNEL_GET, "cannot handle GET response: ");
  }
  const std::string statusLine = header.substr(0, header.find_first_of("\r\n"));
  if (statusLine.compare(0, 5, "HTTP/") != 0 || statusLine.find(' ') == std::string::npos ||
      statusLine.compare(statusLine.find(' ') + 1, 3, "200") != 0) {
    return Fail(TLX_E_TUNNEL_GET, "cannot handle GET response: " + statusLine);
  }

  fPost = ConnectSocket(peer, false, &hr);
  if (!fPost) return hr;
  if (fAuthenticate) {
    if ((hr = Authenticate(fPost.get())) != S_OK) return hr;
    if (fEvents) fEvents(EC_TLX_AUTH_END);
  }
  if (!SendAll(fPost.get(), TunnelRequest("POST", "Content-Type: application/x-rtsp-rtp-interleaved\r\n"))) {
    return Fail(SocketFailure(), "POST send() failed: ");
  }
  return S_OK;
}

bool TunnelingRTSPClient::sendRequest(const std::string& text) {
  if (!fTunnel || !fPost) return RTSPClient::sendRequest(text);
  std::string encoded((text.size() + 2) / 3 * 4 + 1, '\0');
  const int n = encode64(text.data(), text.size(), encoded.data(), encoded.size());
  if (n < 0 || !SendAll(fPost.get(), encoded.substr(0, static_cast<size_t>(n)))) {
    fLastResult = SocketFailure();
    envir().setResultMsg("POST send() failed");
    return false;
  }
  return true;
}

void TunnelingRTSPClient::Close() {
  if (fPost) {
    tlxUnregisterSocket(fPost.get());
    fPost.reset();
  }
  if (fGet >= 0) tlxUnregisterSocket(fGet);
  fGet = -1;
  fTunnel = false;
  reset();
}
