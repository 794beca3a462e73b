#include "auth_exchange.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "auth_log.h"
#include "auth_state.h"
#include "digest.h"
#include "http_client.h"

namespace {

// Sends the header and receives the response header into buffer; false on
// either failure.
bool Converse(int socket, const std::string& header, char (&buffer)[kTlxHttpHeaderSize]) {
  return SendHTTP(header.c_str(), socket, nullptr) == 0 &&
         ReceiveSocket(buffer, socket, sizeof buffer, "\r\n\r\n", kTlxHttpTimeoutSeconds) > 0;
}

// Code of a 503 answer; a bare "Service Unavailable" counts as connection mode.
int BusyCode(const tlxHttpResponse& response) {
  tlxAuthLog("Server busy\n\n");
  const int code = tlxHttpReasonCode(response.reason);
  return code == -14 ? -18 : code;
}

int RunExchange(int socket, TlxAuthState& state) {
  tlxAuthLog("proxyuse=%d, host=%s, port=%d\n\n", state.proxyUse, state.host.c_str(), state.port);
  tlxDigestCnonce(state.cnonce);
  const int n = state.msgCounter % 4;
  tlxAuthLog("***** Ravix Authenticaion %d *****\n\n", n);
  const std::string path = state.proxyUse == 1
                               ? tlxFormat("%s:%d%s%d", state.host.c_str(), state.port, "/ravix/message", n)
                               : tlxFormat("/ravix/message%d", n);
  const std::string requestHead = tlxRequestHead("GET", path, state.host, state.port);
  char buffer[kTlxHttpHeaderSize];
  tlxHttpResponse response;
  tlxDigestRecord record{};

  if (n == 0) {
    state.authNonceCount = 0;
    tlxAuthLog("send request message%d\n\n", n);
    if (!Converse(socket, tlxChallengeRequest(path, state.host, state.port), buffer)) {
      tlxAuthLog("Receiving message0 response\n\n");
      return -5;
    }
    if (tlxHttpParseResponse(buffer, &response) != 0) return -4;
    if (response.status == 503) return BusyCode(response);
    if (response.status != 401) {
      if (response.status == 200) tlxAuthLog("Authorization OFF?\n\n");
      return -3;
    }
    if (tlxDigestParse(&record, response.wwwAuthenticate) == 0) return -3;
  } else {
    tlxDigestSetField(record.realm, sizeof record.realm, "Ravix");
    tlxDigestSetField(record.nonce, sizeof record.nonce, state.serverNonce);
    tlxDigestSetField(record.algorithm, sizeof record.algorithm, "MD5");
    tlxDigestSetField(record.domain, sizeof record.domain, "/ravix/");
    tlxDigestSetField(record.qop, sizeof record.qop, "auth");
  }

  if (tlxDigestCredentials(&record) != 0) return -1;
  tlxDigestSetField(record.uri, sizeof record.uri, "/ravix/message");
  tlxDigestSetField(record.cnonce, sizeof record.cnonce, state.cnonce);
  ++state.authNonceCount;
  tlxDigestSetField(record.nc, sizeof record.nc, tlxFormat("%08d", state.authNonceCount).c_str());
  tlxDigestResponse(&record);

  const std::string header = requestHead + kTlxKeepAliveHeaders + "Authorization: Digest " +
                             tlxDigestAuthorization(record, true) + "\r\n" + kTlxNoCacheHeaders + "User-Agent: " +
                             state.clientSpec.spec + "\r\n";
  if (!Converse(socket, header, buffer)) {
    tlxAuthLog("received AUTH_result message%d\n\n", n);
    return -5;
  }
  if (tlxHttpParseResponse(buffer, &response) != 0) return -4;
  if (n == 0) state.baseSpec.set(response.server);
  switch (response.status) {
    case 200:
      tlxAuthLog("Auth_OK\n\n");
      state.msgCounter = (state.msgCounter + 1) % 4;
      if (state.msgCounter == 1) tlxDigestSetField(state.serverNonce, sizeof state.serverNonce, record.nonce);
      return 0;
    case 401:
      tlxAuthLog("Unauthorized\n\n");
      return tlxHttpReasonCode(response.reason);
    case 503:
      return BusyCode(response);
    default:
      return -1;
  }
}

// The Authorization value for a request answered by the challenge in buffer;
// empty when there is no usable challenge.
std::string RequestAuthorization(char* buffer, tlxDigestRecord credentials, const char* uri) {
  tlxHttpResponse response;
  if (tlxHttpParseResponse(buffer, &response) != 0) {
    tlxAuthLog("failed to parse response\n\n");
    return {};
  }
  tlxDigestRecord challenge;
  if (response.status != 401 || tlxDigestParse(&challenge, response.wwwAuthenticate) == 0 ||
      challenge.nonce[0] == '\0' || std::strlen(uri) >= sizeof challenge.uri) {
    tlxAuthLog("cannot calculate authentication digest\n\n");
    return {};
  }
  tlxDigestRecord& record = credentials;
  tlxDigestSetField(record.realm, sizeof record.realm, challenge.realm);
  tlxDigestSetField(record.nonce, sizeof record.nonce, challenge.nonce);
  tlxDigestSetField(record.qop, sizeof record.qop, challenge.qop);
  tlxDigestSetField(record.cnonce, sizeof record.cnonce, challenge.cnonce);
  tlxDigestSetField(record.uri, sizeof record.uri, uri);
  tlxDigestSetField(record.nc, sizeof record.nc, tlxFormat("%08ld", std::strtol(challenge.nc, nullptr, 10) + 1).c_str());
  tlxDigestResponse(&record);
  return "Digest " + tlxDigestAuthorization(record, false);
}

}  // namespace

int tlxRavixAuthExchange(int socket) {
  TlxAuthState& state = tlxAuthState();
  const int code = RunExchange(socket, state);
  if (code != 0) state.msgCounter = 0;
  return code;
}

int tlxRequestAuthentication(const char* host, int port, const char* method, const char* uri) {
  tlxDigestRecord credentials{};
  if (method == nullptr || uri == nullptr || tlxDigestCredentials(&credentials) != 0) return -1;
  char buffer[kTlxHttpHeaderSize];
  std::string requestHead;
  {
    const tlx::win32::Descriptor socket = tlxHttpConnect(host, port);
    if (!socket) return -1;
    requestHead = tlxRequestHead(method, uri, host, port);
    if (SendHTTP((requestHead + "User-Agent: Telvara\r\nProxy-Connection: Keep-Alive\r\nConnection: close\r\n" +
                  kTlxNoCacheHeaders).c_str(),
                 socket.get(), nullptr) != 0) {
      tlxAuthLog("failed to send request\n\n");
      return -1;
    }
    if (ReceiveSocket(buffer, socket.get(), sizeof buffer, "\r\n\r\n", kTlxHttpTimeoutSeconds) <= 0) {
      tlxAuthLog("failed to receive response header\n\n");
      return -1;
    }
  }
  const std::string authorization = RequestAuthorization(buffer, credentials, uri);
  if (authorization.empty()) return -1;

  tlx::win32::Descriptor socket = tlxHttpConnect(host, port);
  if (!socket) return -1;
  if (SendHTTP((requestHead + kTlxKeepAliveHeaders + "Authorization: " + authorization + "\r\n" + kTlxNoCacheHeaders).c_str(),
               socket.get(), nullptr) != 0) {
    tlxAuthLog("failed to send request\n\n");
    return -1;
  }
  // The caller owns the connection from here on.
  return socket.release();
}
