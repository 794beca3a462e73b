// The RTSP client: DESCRIBE, SETUP, PLAY and TEARDOWN on a connection its
// owner opened and handed in, with RTP and RTCP interleaved on that same
// connection. The connection's bytes are read by one demultiplexer, both while
// a request waits for its response (before the event loop runs) and from the
// scheduler's read handler afterwards. Requests go out through sendRequest,
// which a tunnelling subclass overrides.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "rtsp/interleaved_demux.h"
#include "rtsp/media_session.h"
#include "rtsp/usage_environment.h"
#include "win32/sockets.h"

class RTSPClient {
 public:
  // The default limit of one response wait.
  static constexpr std::chrono::milliseconds kDefaultResponseTimeout{10000};

  static RTSPClient* createNew(UsageEnvironment& env, int verbosity = 0,
                               const char* applicationName = nullptr);
  virtual ~RTSPClient();
  RTSPClient(const RTSPClient&) = delete;
  RTSPClient& operator=(const RTSPClient&) = delete;

  UsageEnvironment& envir() const { return fEnv; }

  // Takes the connection (closed by reset and on destruction) and reads it
  // from the scheduler's read handler.
  void setConnection(tlx::win32::Descriptor receiveSocket);
  int socketNum() const { return fSocket.get(); }

  // The SDP text of the URL, or nothing (with the reason as the result
  // message). The Content-Base of the answer, else the URL, becomes the base
  // URL.
  std::optional<std::string> describeURL(const char* url);
  // Sets the subsession up for RTP and RTCP interleaved on the connection,
  // asking for channels 2k and 2k+1 (k: its place in the description); the
  // channels the server answers with are the ones bound. An answer that puts
  // RTP and RTCP on one channel, or names a channel already bound, is
  // refused. The session id of an answer is kept, refused or not, so the
  // session can be torn down. The subsession must have been initiated. Only
  // TCP is supported.
  bool setupMediaSubsession(MediaSubsession& subsession, bool streamOutgoing = false,
                            bool streamUsingTCP = true);
  bool playMediaSession(MediaSession& session, double start = 0.0, double end = -1.0);
  // Sends TEARDOWN without waiting: the event loop may still be reading the
  // connection, and the late response is dropped by the demultiplexer.
  bool teardownMediaSession(MediaSession& session);
  // Closes the connection and forgets the session id, the base URL and the
  // channels bound to subsessions (so the client may outlive them).
  void reset();

  // Reads an HTTP response header (status line to the empty line, at most
  // limit bytes) from the connection within the response time-out, and
  // checks its status line (a whole three-digit code; ParseStatusLine gives
  // it). What came after it stays for the RTSP messages and frames.
  bool readHttpResponseHeader(std::string* header, size_t limit);

  void setResponseTimeout(std::chrono::milliseconds timeout) { fResponseTimeout = timeout; }
  const std::string& sessionId() const { return fSessionId; }
  const std::string& baseURL() const { return fBaseURL; }
  const std::string& lastError() const { return fLastError; }
  unsigned nextCSeq() const { return fCSeq; }
  const std::string& userAgentHeaderLine() const { return fUserAgentHeaderLine; }
  InterleavedDemux& demux() { return fDemux; }

  // The URL of a control attribute resolved against the base URL: absolute
  // ones as they are, "*" or none the base URL itself, relative ones appended
  // with exactly one "/" between.
  std::string resolveControl(const std::string& control) const;

 protected:
  RTSPClient(UsageEnvironment& env, int verbosity, const char* applicationName);
  // Sends one request text whole; false (with the result message set) when it
  // could not.
  virtual bool sendRequest(const std::string& text);

 private:
  // Sends the request and waits for the response with its CSeq; non-2xx,
  // time-out and a closed connection fail with the result message set.
  bool request(const char* method, const std::string& text, RtspMessage* response);
  bool send(const char* method, const std::string& text);
  void fail(std::string text);
  static void incomingDataHandler(void* clientData, int mask);
  void handleIncomingData();
  void onMessage(const RtspMessage& message);

  UsageEnvironment& fEnv;
  int fVerbosity;
  std::string fUserAgentHeaderLine;
  tlx::win32::Descriptor fSocket;
  InterleavedDemux fDemux;
  unsigned fCSeq = 1;
  std::string fSessionId;
  std::string fBaseURL;
  std::string fLastError;
  std::chrono::milliseconds fResponseTimeout = kDefaultResponseTimeout;
  long fAwaitedCSeq = -1;
  std::optional<RtspMessage> fResponse;
};
