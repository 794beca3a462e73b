#include "tunnel_session.h"

#include <arpa/inet.h>

#include <chrono>

#include "rtsp/rtsp_url_socket.h"
#include "utility/tlx_utility.h"

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  return address;
}

bool SendText(int socket, const std::string& text) {
  return tlxsend(socket, text.data(), static_cast<int>(text.size()), 0) == static_cast<int>(text.size());
}

}  // namespace

TunnelClient::~TunnelClient() {
  if (fPost) tlxUnregisterSocket(fPost.get());
  if (fGet >= 0) tlxUnregisterSocket(fGet);
  reset();
}

bool TunnelClient::open(int port) {
  const sockaddr_in address = Loopback(port);
  const std::string common = "HOST: 127.0.0.1 \r\n" + userAgentHeaderLine() + "X-SessionCookie: 0\r\n";
  tlx::win32::Descriptor get = setupStreamSocket(envir());
  if (!get) return false;
  increaseReceiveBufferTo(envir(), get.get(), 73000);
  if (tlxConnect(get.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    envir().setResultMsg("connect() failed: ", std::to_string(GetLastSocketError()));
    return false;
  }
  tlxRegisterSocket(get.get());
  fGet = get.get();
  const std::string getText = "GET /connect HTTP/1.0\r\n" + common +
                              "Accept: application/x-rtsp-rtp-interleaved\r\nPragma:no-cache\r\n"
                              "Cache-control:no-cache\r\n\r\n";
  if (!SendText(fGet, getText)) {
    envir().setResultMsg("GET send() failed");
    return false;
  }
  setConnection(std::move(get));
  std::string header;
  if (!readHttpResponseHeader(&header, 5000)) return false;
  if (header.rfind("HTTP/1.0 200 ", 0) != 0 && header.rfind("HTTP/1.1 200 ", 0) != 0) {
    envir().setResultMsg("cannot handle GET response: ", header.substr(0, header.find('\r')));
    return false;
  }
  fPost = setupStreamSocket(envir());
  if (!fPost || tlxConnect(fPost.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    envir().setResultMsg("connect() failed for the POST connection");
    return false;
  }
  tlxRegisterSocket(fPost.get());
  const std::string postText = "POST /connect HTTP/1.0\r\n" + common +
                               "Content-Type: application/x-rtsp-rtp-interleaved\r\nPragma:no-cache\r\n"
                               "Cache-control:no-cache\r\nContent-Length:32767\r\n"
                               "Expires: Sun, 9 Jan 1972 00:00:00 GMT\r\n\r\n";
  return SendText(fPost.get(), postText);
}

bool TunnelClient::sendRequest(const std::string& text) {
  std::string encoded((text.size() + 2) / 3 * 4 + 1, '\0');
  const int n = encode64(text.data(), text.size(), encoded.data(), encoded.size());
  if (n < 0 || !fPost || !SendText(fPost.get(), encoded.substr(0, static_cast<size_t>(n)))) {
    envir().setResultMsg("POST send() failed");
    return false;
  }
  return true;
}

bool FrameSink::continuePlaying() {
  if (fSource == nullptr) return false;
  fSource->getNextFrame(fBuffer.data(), static_cast<unsigned>(fBuffer.size()), afterGettingFrame, this,
                        onSourceClosure, this);
  return true;
}

void FrameSink::afterGettingFrame(void* data, unsigned size, unsigned truncated, struct timeval,
                                  unsigned) {
  auto* self = static_cast<FrameSink*>(data);
  self->frames.push_back(Frame{std::string(reinterpret_cast<char*>(self->fBuffer.data()), size), truncated});
  ++self->count;
  self->continuePlaying();
}

TunnelSession::~TunnelSession() { stop(); }

bool TunnelSession::start(int port, const std::string& path) {
  t.env->setLogSink([this](std::string_view line) { log.emplace_back(line); });
  client = std::make_unique<TunnelClient>(*t.env);
  auto fail = [&](const char* step) {
    fError = std::string(step) + ": " + t.env->getResultMsg();
    return false;
  };
  if (!client->open(port)) return fail("open");
  const std::string url = "rtsp://127.0.0.1:" + std::to_string(port) + "/" + path;
  auto sdp = client->describeURL(url.c_str());
  if (!sdp) return fail("DESCRIBE");
  session.reset(MediaSession::createNew(*t.env, sdp->c_str()));
  if (!session) return fail("session");
  int index = 0;
  for (auto& subsession : session->subsessions()) {
    if (!subsession->initiate(-1)) return fail("initiate");
    if (!client->setupMediaSubsession(*subsession, false, true)) return fail("SETUP");
    const bool audio = std::string(subsession->mediumName()) == "audio";
    sinks.push_back(std::make_unique<FrameSink>(*t.env, audio ? 20480 : 0x80000));
    subsession->sink = sinks.back().get();
    subsession->rtcpInstance()->setByeHandler([](void* d) { ++*static_cast<std::atomic<int>*>(d); },
                                              &byes[index]);
    FrameSink* sink = sinks.back().get();
    sink->startPlaying(*subsession->readSource(), [](void* d) { static_cast<FrameSink*>(d)->ended = true; },
                       sink);
    ++index;
  }
  if (!client->playMediaSession(*session, 0, -1)) return fail("PLAY");
  fLoop = std::thread([this] {
    while (!fStop) t.scheduler->SingleStep(20000);
  });
  return true;
}

bool TunnelSession::waitForFrames(int audio, int video, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  auto done = [&](size_t i, int want) {
    return i >= sinks.size() || sinks[i]->count >= want || sinks[i]->ended || byes[i] > 0;
  };
  while (!(done(0, audio) && done(1, video))) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void TunnelSession::stop() {
  if (fLoop.joinable()) {
    fStop = true;
    fLoop.join();
  }
  if (client && session && !client->sessionId().empty()) {
    client->teardownMediaSession(*session);
  }
}
