#include "rtsp/rtsp_client.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

using tlx::win32::Deadline;
using tlx::win32::SocketClock;

// The session id of a Session header: the text before ";".
std::string SessionIdOf(const std::string& value) {
  const size_t semicolon = value.find(';');
  std::string id = value.substr(0, semicolon);
  while (!id.empty() && id.back() == ' ') id.pop_back();
  return id;
}

// The a-b pair of "interleaved=a-b" in a Transport value.
bool InterleavedPair(const std::string& transport, int* rtp, int* rtcp) {
  const size_t at = transport.find("interleaved=");
  if (at == std::string::npos) return false;
  const char* p = transport.c_str() + at + 12;
  char* end = nullptr;
  const long a = std::strtol(p, &end, 10);
  if (end == p || *end != '-') return false;
  const char* q = end + 1;
  const long b = std::strtol(q, &end, 10);
  if (end == q || a < 0 || a > 255 || b < 0 || b > 255) return false;
  *rtp = static_cast<int>(a);
  *rtcp = static_cast<int>(b);
  return true;
}

}  // namespace

RTSPClient* RTSPClient::createNew(UsageEnvironment& env, int verbosity, const char* applicationName) {
  return new RTSPClient(env, verbosity, applicationName);
}

RTSPClient::RTSPClient(UsageEnvironment& env, int verbosity, const char* applicationName)
    : fEnv(env), fVerbosity(verbosity) {
  if (applicationName != nullptr && *applicationName != '\0') {
    fUserAgentHeaderLine = std::string("User-Agent: ") + applicationName + "\r\n";
  }
  fDemux.setMessageHandler([this](const RtspMessage& m) { onMessage(m); });
  fDemux.setRefusalHandler([this](const std::string& why) {
    fEnv.log("Dropped a malformed RTSP message: " + why + "\n");
  });
}

RTSPClient::~RTSPClient() { reset(); }

void RTSPClient::setConnection(tlx::win32::Descriptor receiveSocket) {
  reset();
  fSocket = std::move(receiveSocket);
  if (fSocket) {
    fEnv.taskScheduler().turnOnBackgroundReadHandling(fSocket.get(), incomingDataHandler, this);
  }
}

void RTSPClient::reset() {
  if (fSocket) fEnv.taskScheduler().turnOffBackgroundReadHandling(fSocket.get());
  fSocket.reset();
  fDemux.clear();
  fSessionId.clear();
  fBaseURL.clear();
}

void RTSPClient::fail(std::string text) {
  fLastError = text;
  fEnv.setResultMsg(text);
}

std::string RTSPClient::resolveControl(const std::string& control) const {
  if (control.empty() || control == "*") return fBaseURL;
  if (control.find("://") != std::string::npos) return control;
  std::string url = fBaseURL;
  if (!url.empty() && url.back() == '/') url.pop_back();
  return url + "/" + (control.front() == '/' ? control.substr(1) : control);
}

bool RTSPClient::sendRequest(const std::string& text) {
  if (!fSocket) {
    fEnv.setResultMsg("not connected");
    return false;
  }
  const int error = tlx::win32::WriteAll(fSocket.get(), text.data(), text.size(),
                                         tlx::win32::DeadlineAfter(static_cast<uint32_t>(fResponseTimeout.count())));
  if (error != 0) {
    fEnv.setResultErrMsg("send() failed: ", error);
    return false;
  }
  return true;
}

bool RTSPClient::send(const char* method, const std::string& text) {
  if (fVerbosity >= 1) fEnv.log("Sending request: " + text);
  ++fCSeq;
  if (sendRequest(text)) return true;
  fLastError = std::string(method) + " not sent: " + fEnv.getResultMsg();
  fEnv.setResultMsg(fLastError);
  return false;
}

void RTSPClient::onMessage(const RtspMessage& message) {
  if (message.isResponse && fAwaitedCSeq >= 0 && message.cseq() == fAwaitedCSeq && !fResponse) {
    fResponse = message;
    return;
  }
  if (fVerbosity >= 1) {
    fEnv.log(message.isResponse ? "Dropped a response with CSeq " + std::to_string(message.cseq()) + "\n"
                                : "Dropped a request from the server: " + message.method + "\n");
  }
}

bool RTSPClient::request(const char* method, const std::string& text, RtspMessage* response) {
  const long cseq = fCSeq;
  if (!send(method, text)) return false;
  fAwaitedCSeq = cseq;
  fResponse.reset();
  const Deadline deadline = SocketClock::now() + fResponseTimeout;
  char buffer[16384];
  std::string problem;
  fDemux.process();
  while (!fResponse) {
    const long got = tlx::win32::ReadSome(fSocket.get(), buffer, sizeof buffer, deadline);
    if (got > 0) {
      fDemux.feed(buffer, static_cast<size_t>(got));
      continue;
    }
    if (got == 0) {
      problem = "connection closed before the response";
    } else if (errno == ETIMEDOUT) {
      problem = "no response within " + std::to_string(fResponseTimeout.count()) + " ms";
    } else {
      problem = std::string("recv() failed: ") + std::strerror(errno);
    }
    break;
  }
  fAwaitedCSeq = -1;
  if (!fResponse) {
    fail(std::string(method) + " failed: " + problem);
    return false;
  }
  *response = std::move(*fResponse);
  fResponse.reset();
  if (fVerbosity >= 1) {
    fEnv.log("Received " + std::string(method) + " response: " + std::to_string(response->statusCode) + " " +
             response->reason + "\n");
  }
  if (response->statusCode < 200 || response->statusCode > 299) {
    fail(std::string(method) + " failed: " + std::to_string(response->statusCode) + " " + response->reason);
    return false;
  }
  return true;
}

std::optional<std::string> RTSPClient::describeURL(const char* url) {
  const std::string text = "DESCRIBE " + std::string(url) + " RTSP/1.0\r\nCSeq: " + std::to_string(fCSeq) +
                           "\r\nAccept: application/sdp\r\n" + fUserAgentHeaderLine + "\r\n";
  RtspMessage response;
  if (!request("DESCRIBE", text, &response)) return std::nullopt;
  if (response.body.empty()) {
    fail("DESCRIBE answered without a description");
    return std::nullopt;
  }
  const std::string* base = response.header("Content-Base");
  fBaseURL = base != nullptr && !base->empty() ? *base : std::string(url);
  return response.body;
}

bool RTSPClient::setupMediaSubsession(MediaSubsession& subsession, bool /*streamOutgoing*/,
                                      bool streamUsingTCP) {
  if (!streamUsingTCP) {
    fail("SETUP: only RTP over the RTSP connection is supported");
    return false;
  }
  if (subsession.rtpSource() == nullptr) {
    fail("SETUP: the subsession was not initiated");
    return false;
  }
  const auto& all = subsession.parentSession().subsessions();
  size_t k = 0;
  while (k < all.size() && all[k].get() != &subsession) ++k;
  std::string text = "SETUP " + resolveControl(subsession.controlPath()) + " RTSP/1.0\r\nCSeq: " +
                     std::to_string(fCSeq) + "\r\nTransport: RTP/AVP/TCP;unicast;interleaved=" +
                     std::to_string(2 * k) + "-" + std::to_string(2 * k + 1) + "\r\n";
  if (!fSessionId.empty()) text += "Session: " + fSessionId + "\r\n";
  text += fUserAgentHeaderLine + "\r\n";
  RtspMessage response;
  if (!request("SETUP", text, &response)) return false;
  const std::string* session = response.header("Session");
  if (session == nullptr || SessionIdOf(*session).empty()) {
    fail("SETUP answered without a Session header");
    return false;
  }
  // The server holds the session from here on, whatever the transport: the
  // id is kept so that a refused set-up can still be torn down.
  fSessionId = SessionIdOf(*session);
  subsession.sessionId = fSessionId;
  int rtp = static_cast<int>(2 * k), rtcp = static_cast<int>(2 * k + 1);
  if (const std::string* transport = response.header("Transport")) InterleavedPair(*transport, &rtp, &rtcp);
  if (rtp > 255 || rtcp > 255) {
    fail("SETUP: no interleaved channel for this subsession");
    return false;
  }
  // Each channel carries one kind of packet of one stream: a shared channel
  // would hand one receiver the other's packets.
  if (rtp == rtcp) {
    fail("SETUP answered RTP and RTCP on one interleaved channel (" + std::to_string(rtp) + ")");
    return false;
  }
  for (const int channel : {rtp, rtcp}) {
    if (fDemux.receiverOf(static_cast<uint8_t>(channel)) != nullptr) {
      fail("SETUP answered interleaved channel " + std::to_string(channel) + ", which another stream has");
      return false;
    }
  }
  subsession.rtpChannelId = rtp;
  subsession.rtcpChannelId = rtcp;
  fDemux.bindChannel(static_cast<uint8_t>(rtp), subsession.rtpSource());
  fDemux.bindChannel(static_cast<uint8_t>(rtcp), subsession.rtcpInstance());
  return true;
}

bool RTSPClient::playMediaSession(MediaSession& session, double /*start*/, double /*end*/) {
  if (fSessionId.empty()) {
    fail("PLAY: no session was set up");
    return false;
  }
  const std::string text = "PLAY " + resolveControl(session.controlPath()) + " RTSP/1.0\r\nCSeq: " +
                           std::to_string(fCSeq) + "\r\nSession: " + fSessionId +
                           "\r\nRange: npt=0.000-\r\n" + fUserAgentHeaderLine + "\r\n";
  RtspMessage response;
  return request("PLAY", text, &response);
}

bool RTSPClient::teardownMediaSession(MediaSession& session) {
  if (fSessionId.empty()) {
    fail("TEARDOWN: no session was set up");
    return false;
  }
  const std::string text = "TEARDOWN " + resolveControl(session.controlPath()) + " RTSP/1.0\r\nCSeq: " +
                           std::to_string(fCSeq) + "\r\nSession: " + fSessionId + "\r\n" +
                           fUserAgentHeaderLine + "\r\n";
  return send("TEARDOWN", text);
}

bool RTSPClient::readHttpResponseHeader(std::string* header, size_t limit) {
  const Deadline deadline = SocketClock::now() + fResponseTimeout;
  char buffer[4096];
  for (;;) {
    switch (fDemux.takeHttpHeader(limit, header)) {
      case InterleavedDemux::HeaderResult::kDone: {
        const std::string_view statusLine = std::string_view(*header).substr(0, header->find_first_of("\r\n"));
        int code = 0;
        std::string reason, problem;
        if (ParseStatusLine(statusLine, "HTTP/", &code, &reason, &problem)) return true;
        fail("bad HTTP status line \"" + std::string(statusLine) + "\": " + problem);
        return false;
      }
      case InterleavedDemux::HeaderResult::kTooLong:
        fail("response header longer than " + std::to_string(limit) + " bytes");
        return false;
      case InterleavedDemux::HeaderResult::kNeedMore:
        break;
    }
    const long got = tlx::win32::ReadSome(fSocket.get(), buffer, sizeof buffer, deadline);
    if (got > 0) {
      fDemux.append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      fail("connection closed before the response header");
      return false;
    } else {
      fail(errno == ETIMEDOUT ? "no response header within " + std::to_string(fResponseTimeout.count()) + " ms"
                              : std::string("recv() failed: ") + std::strerror(errno));
      return false;
    }
  }
}

void RTSPClient::incomingDataHandler(void* clientData, int /*mask*/) {
  static_cast<RTSPClient*>(clientData)->handleIncomingData();
}

void RTSPClient::handleIncomingData() {
  char buffer[65536];
  const long got = tlx::win32::ReadSome(fSocket.get(), buffer, sizeof buffer, SocketClock::now());
  if (got > 0) {
    fDemux.feed(buffer, static_cast<size_t>(got));
    return;
  }
  if (got < 0 && errno == ETIMEDOUT) return;  // nothing after all
  // Closed or failed: nothing more comes on this connection.
  fEnv.taskScheduler().turnOffBackgroundReadHandling(fSocket.get());
  fEnv.log("The RTSP connection ended\n");
  fDemux.closeAll();
}
