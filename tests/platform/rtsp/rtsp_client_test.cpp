#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "rtsp/rtsp_client.h"
#include "rtsp/rtsp_url_socket.h"
#include "rtp_builder.h"
#include "scripted_server.h"
#include "test_environment.h"

namespace {

const std::string kUrl = "rtsp://127.0.0.1:8554/DSP/vfr=30.vw=320.vh=240.asr=24000./";
const std::string kSdp =
    "v=0\r\ns=Live\r\na=control:*\r\nm=audio 0 RTP/AVP 96\r\na=rtpmap:96 MPEG4-GENERIC/24000/2\r\n"
    "a=fmtp:96 sizelength=13;indexlength=3;indexdeltalength=3\r\na=control:trackID=1\r\n"
    "m=video 0 RTP/AVP 97\r\na=rtpmap:97 MP4V-ES/90000\r\na=control:trackID=2\r\n";

std::string Ok(int cseq, const std::string& headers = "", const std::string& body = "") {
  std::string text = "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\n" + headers;
  if (!body.empty()) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return text + "\r\n" + body;
}

struct Client {
  Client() : client(RTSPClient::createNew(*t.env, 0, "TLXStreamingClient")) {}
  TestEnvironment t;
  std::unique_ptr<RTSPClient> client;
};

TEST(RtspClient, SendsTheFourRequestsByteExact) {
  ScriptedServer server({
      Ok(1, "Content-Base: " + kUrl + "\r\n", kSdp),
      Ok(2, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1;ssrc=01020304\r\nSession: 1A2B;timeout=60\r\n"),
      Ok(3, "Transport: RTP/AVP/TCP;unicast;interleaved=6-7\r\nSession: 1A2B;timeout=60\r\n"),
      Ok(4, "Range: npt=0.000-\r\n"),
      "",
  });
  Client c;
  c.client->setConnection(std::move(server.clientEnd));
  auto sdp = c.client->describeURL(kUrl.c_str());
  ASSERT_TRUE(sdp) << c.t.env->getResultMsg();
  EXPECT_EQ(*sdp, kSdp);
  std::unique_ptr<MediaSession> session(MediaSession::createNew(*c.t.env, sdp->c_str()));
  ASSERT_TRUE(session);
  for (auto& s : session->subsessions()) {
    ASSERT_TRUE(s->initiate(-1));
    ASSERT_TRUE(c.client->setupMediaSubsession(*s, false, true)) << c.t.env->getResultMsg();
  }
  EXPECT_EQ(session->subsessions()[0]->rtpChannelId, 0);
  EXPECT_EQ(session->subsessions()[1]->rtpChannelId, 6) << "the server's channels win";
  EXPECT_EQ(session->subsessions()[1]->rtcpChannelId, 7);
  EXPECT_EQ(c.client->sessionId(), "1A2B");
  ASSERT_TRUE(c.client->playMediaSession(*session, 0, -1)) << c.t.env->getResultMsg();
  ASSERT_TRUE(c.client->teardownMediaSession(*session));
  EXPECT_EQ(c.client->nextCSeq(), 6u);
  const std::string ua = "User-Agent: TLXStreamingClient\r\n";
  const std::vector<std::string> expected = {
      "DESCRIBE " + kUrl + " RTSP/1.0\r\nCSeq: 1\r\nAccept: application/sdp\r\n" + ua + "\r\n",
      "SETUP " + kUrl + "trackID=1 RTSP/1.0\r\nCSeq: 2\r\nTransport: RTP/AVP/TCP;unicast;interleaved=0-1\r\n" +
          ua + "\r\n",
      "SETUP " + kUrl + "trackID=2 RTSP/1.0\r\nCSeq: 3\r\nTransport: RTP/AVP/TCP;unicast;interleaved=2-3\r\n"
          "Session: 1A2B\r\n" + ua + "\r\n",
      "PLAY " + kUrl + " RTSP/1.0\r\nCSeq: 4\r\nSession: 1A2B\r\nRange: npt=0.000-\r\n" + ua + "\r\n",
      "TEARDOWN " + kUrl + " RTSP/1.0\r\nCSeq: 5\r\nSession: 1A2B\r\n" + ua + "\r\n",
  };
  EXPECT_EQ(server.requests(), expected);
  c.client->reset();
  EXPECT_EQ(c.client->sessionId(), "");
  EXPECT_EQ(c.client->baseURL(), "");
  EXPECT_EQ(c.client->socketNum(), -1);
}

TEST(RtspClient, SetupRefusesChannelsThatWouldCarryTwoKindsOfPacket) {
  // The SETUP answers' channel pairs for the audio and the video subsession
  // (an empty second: not asked), and what each of channels 0 to 5 is bound
  // to afterwards: audio or video, RTP or RTCP.
  struct Row {
    const char* name;
    const char* audio;
    const char* video;
    std::string message;  // of the refusal; empty when both are taken
    std::vector<std::string> bound;
  } rows[] = {
      {"apart", "0-1", "4-5", "", {"A rtp", "A rtcp", "", "", "V rtp", "V rtcp"}},
      {"RTP and RTCP on one channel", "0-0", "", "SETUP answered RTP and RTCP on one interleaved channel (0)",
       {"", "", "", "", "", ""}},
      {"the other track's pair", "0-1", "0-1", "SETUP answered interleaved channel 0, which another stream has",
       {"A rtp", "A rtcp", "", "", "", ""}},
      {"RTP on the other track's RTCP", "0-1", "1-2", "SETUP answered interleaved channel 1, which another stream has",
       {"A rtp", "A rtcp", "", "", "", ""}},
      {"RTCP on the other track's RTP", "2-3", "4-2", "SETUP answered interleaved channel 2, which another stream has",
       {"", "", "A rtp", "A rtcp", "", ""}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    auto answer = [](int cseq, const char* pair) {
      return Ok(cseq, "Transport: RTP/AVP/TCP;unicast;interleaved=" + std::string(pair) + "\r\nSession: 1A2B\r\n");
    };
    std::vector<std::string> answers{Ok(1, "Content-Base: " + kUrl + "\r\n", kSdp), answer(2, row.audio)};
    if (*row.video != '\0') answers.push_back(answer(3, row.video));
    ScriptedServer server(answers);
    Client c;
    c.client->setConnection(std::move(server.clientEnd));
    auto sdp = c.client->describeURL(kUrl.c_str());
    ASSERT_TRUE(sdp);
    std::unique_ptr<MediaSession> session(MediaSession::createNew(*c.t.env, sdp->c_str()));
    ASSERT_TRUE(session);
    bool accepted = true;
    for (size_t i = 0; i < answers.size() - 1 && accepted; ++i) {
      MediaSubsession& s = *session->subsessions()[i];
      ASSERT_TRUE(s.initiate(-1));
      accepted = c.client->setupMediaSubsession(s);
    }
    EXPECT_EQ(accepted, row.message.empty());
    if (!row.message.empty()) {
      EXPECT_EQ(c.client->lastError(), row.message);
    }
    EXPECT_EQ(c.client->sessionId(), "1A2B") << "a refused transport still leaves a session to tear down";
    std::vector<std::string> bound;
    for (uint8_t channel = 0; channel < 6; ++channel) {
      const InterleavedReceiver* r = c.client->demux().receiverOf(channel);
      std::string name;
      for (size_t i = 0; i < 2; ++i) {
        const MediaSubsession& s = *session->subsessions()[i];
        if (r != nullptr && r == s.rtpSource()) name = i == 0 ? "A rtp" : "V rtp";
        if (r != nullptr && r == s.rtcpInstance()) name = i == 0 ? "A rtcp" : "V rtcp";
      }
      bound.push_back(name);
    }
    EXPECT_EQ(bound, row.bound);
  }
}

TEST(RtspClient, WaitTakesItsOwnCSeqAndDeliversFramesMetOnTheWay) {
  const std::string frame = std::string("$\x05\x00\x02", 4) + "hi";
  ScriptedServer server({
      "RTSP/1.0 200 OK\r\nCSeq: 7\r\nContent-Length: 3\r\n\r\nold" + frame +
          "ANNOUNCE rtsp://h/ RTSP/1.0\r\nCSeq: 1\r\nContent-Length: 2\r\n\r\nxx" +
          Ok(1, "", "v=0\r\nm=video 0 RTP/AVP 14\r\n"),
  });
  Client c;
  struct Sink : InterleavedReceiver {
    std::string got;
    void handleInterleavedPacket(const uint8_t* d, size_t n) override { got.append(reinterpret_cast<const char*>(d), n); }
  } sink;
  c.client->setConnection(std::move(server.clientEnd));
  c.client->demux().bindChannel(5, &sink);
  auto sdp = c.client->describeURL("rtsp://h/x");
  ASSERT_TRUE(sdp);
  EXPECT_EQ(*sdp, "v=0\r\nm=video 0 RTP/AVP 14\r\n");
  EXPECT_EQ(sink.got, "hi");
  EXPECT_EQ(c.client->baseURL(), "rtsp://h/x") << "no Content-Base: the request URL";
}

TEST(RtspClient, FailuresCarryTheirCause) {
  struct Row {
    const char* name;
    std::string answer;
    std::string message;
  } rows[] = {
      {"404", "RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n", "DESCRIBE failed: 404 Not Found"},
      {"closed", "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent", "DESCRIBE failed: connection closed before the response"},
      {"no description", Ok(1), "DESCRIBE answered without a description"},
  };
  for (const Row& row : rows) {
    Client c;
    {
      ScriptedServer server({row.answer}, true);
      c.client->setConnection(std::move(server.clientEnd));
      EXPECT_FALSE(c.client->describeURL("rtsp://h/x")) << row.name;
    }
    EXPECT_EQ(std::string(c.t.env->getResultMsg()), row.message) << row.name;
    EXPECT_EQ(c.client->lastError(), row.message) << row.name;
  }
}

TEST(RtspClient, HttpResponseHeaderNeedsAWholeStatusCode) {
  const std::string after = "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r\n";
  struct Row {
    std::string statusLine;
    std::string error;  // empty: taken
  } rows[] = {
      {"HTTP/1.0 200 OK", ""},
      {"HTTP/1.0 403 Forbidden", ""},
      {"HTTP/1.0 2000 OK", "bad HTTP status line \"HTTP/1.0 2000 OK\": bad status code \"2000\""},
      {"HTTP/1.0 200x OK", "bad HTTP status line \"HTTP/1.0 200x OK\": bad status code \"200x\""},
      {"RTSP/1.0 200 OK", "bad HTTP status line \"RTSP/1.0 200 OK\": status line not beginning with \"HTTP/\""},
  };
  for (const Row& row : rows) {
    const std::string header = row.statusLine + "\r\nContent-Type: application/x-rtsp-tunnelled\r\n\r\n";
    ScriptedServer server({header + after});
    Client c;
    c.client->setConnection(std::move(server.clientEnd));
    const std::string get = "GET / HTTP/1.0\r\n\r\n";
    ASSERT_EQ(tlx::win32::WriteAll(c.client->socketNum(), get.data(), get.size(), tlx::win32::Deadline::max()), 0);
    std::string got;
    EXPECT_EQ(c.client->readHttpResponseHeader(&got, 5000), row.error.empty()) << row.statusLine;
    EXPECT_EQ(c.client->lastError(), row.error) << row.statusLine;
    if (row.error.empty()) {
      EXPECT_EQ(got, header) << row.statusLine;
    }
  }
}

TEST(RtspClient, ReadHandlerDropsTheLateTeardownResponseAndReportsTheEnd) {
  const std::string rtp = RtpPacket({1, 0, true, 14}, "frame");
  const std::string frame = std::string("$\x00\x00", 3) + static_cast<char>(rtp.size()) + rtp;
  ScriptedServer server({
      Ok(1, "Content-Base: rtsp://h/a/\r\n", "v=0\r\nm=video 0 RTP/AVP 14\r\na=control:t\r\n"),
      Ok(2, "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\nSession: 77\r\n"),
      Ok(3),
      Ok(4) + frame,
  }, true);
  Client c;
  std::vector<std::string> log;
  c.t.env->setLogSink([&](std::string_view line) { log.emplace_back(line); });
  c.client.reset(RTSPClient::createNew(*c.t.env, 1, "TLXStreamingClient"));
  c.client->setConnection(std::move(server.clientEnd));
  auto sdp = c.client->describeURL("rtsp://h/a");
  ASSERT_TRUE(sdp);
  std::unique_ptr<MediaSession> session(MediaSession::createNew(*c.t.env, sdp->c_str()));
  MediaSubsession& video = *session->subsessions()[0];
  ASSERT_TRUE(video.initiate(-1));
  ASSERT_TRUE(c.client->setupMediaSubsession(video));
  CollectingSink sink(*c.t.env, 100);
  bool ended = false;
  sink.startPlaying(*video.readSource(), [](void* d) { *static_cast<bool*>(d) = true; }, &ended);
  ASSERT_TRUE(c.client->playMediaSession(*session));
  ASSERT_TRUE(c.client->teardownMediaSession(*session));
  // The loop reads the TEARDOWN answer (dropped), the frame, then the end.
  for (int i = 0; i < 100 && !ended; ++i) c.t.scheduler->SingleStep(20000);
  EXPECT_TRUE(ended);
  ASSERT_EQ(sink.frames.size(), 1u);
  EXPECT_EQ(sink.frames[0].data, "frame");
  bool dropped = false, sent = false;
  for (const std::string& line : log) {
    dropped |= line.find("Dropped a response with CSeq 4") != std::string::npos;
    sent |= line.rfind("Sending request: TEARDOWN", 0) == 0;
  }
  EXPECT_TRUE(dropped);
  EXPECT_TRUE(sent) << "verbosity 1 logs the requests";
}

TEST(RtspUrl, ParsesAndRefuses) {
  TestEnvironment t;
  struct Row {
    const char* url;
    bool ok;
    unsigned short port;
    const char* suffix;
  } rows[] = {
      {"rtsp://127.0.0.1:8554/x/y", true, 8554, "/x/y"},
      {"rtsp://localhost/x", true, 554, "/x"},
      {"RTSP://127.0.0.1:1", true, 1, ""},
      {"rtsp://127.0.0.1:65535/", true, 65535, "/"},
      {"rtsp://h:/x", false, 0, ""},
      {"rtsp://127.0.0.1:0/x", false, 0, ""},
      {"rtsp://127.0.0.1:70000/x", false, 0, ""},
      {"rtsp://127.0.0.1:8a/x", false, 0, ""},
      {"http://127.0.0.1/x", false, 0, ""},
      {"", false, 0, ""},
      {"rtsp://", false, 0, ""},
      {"rtsp://no-such-host.invalid/x", false, 0, ""},
  };
  for (const Row& row : rows) {
    sockaddr_in address{};
    unsigned short port = 0;
    std::string suffix = "unchanged";
    EXPECT_EQ(parseRTSPURL(*t.env, row.url, &address, &port, &suffix), row.ok) << row.url;
    if (!row.ok) continue;
    EXPECT_EQ(port, row.port) << row.url;
    EXPECT_EQ(ntohs(address.sin_port), row.port) << row.url;
    EXPECT_EQ(address.sin_addr.s_addr, htonl(INADDR_LOOPBACK)) << row.url;
    EXPECT_EQ(suffix, row.suffix) << row.url;
  }
  EXPECT_FALSE(parseRTSPURL(*t.env, nullptr, nullptr, nullptr, nullptr));
}

TEST(RtspUrl, ControlsResolveAgainstTheBase) {
  ScriptedServer server({Ok(1, "Content-Base: rtsp://h/a/\r\n", "v=0\r\n"),
                         Ok(2, "", "v=0\r\n")});
  Client c;
  c.client->setConnection(std::move(server.clientEnd));
  ASSERT_TRUE(c.client->describeURL("rtsp://h/a"));
  struct Row {
    const char* control;
    const char* url;
  } rows[] = {
      {"trackID=1", "rtsp://h/a/trackID=1"},
      {"/trackID=1", "rtsp://h/a/trackID=1"},
      {"rtsp://other/t", "rtsp://other/t"},
      {"*", "rtsp://h/a/"},
      {"", "rtsp://h/a/"},
  };
  for (const Row& row : rows) EXPECT_EQ(c.client->resolveControl(row.control), row.url) << row.control;
  ASSERT_TRUE(c.client->describeURL("rtsp://h/b"));
  EXPECT_EQ(c.client->resolveControl("t"), "rtsp://h/b/t") << "no Content-Base: the DESCRIBE URL";
}

TEST(StreamSocket, IsTcpCloseOnExecAndTakesABiggerBuffer) {
  TestEnvironment t;
  tlx::win32::Descriptor s = setupStreamSocket(*t.env);
  ASSERT_TRUE(s);
  EXPECT_GE(increaseReceiveBufferTo(*t.env, s.get(), 73000), 73000u);
  EXPECT_EQ(increaseReceiveBufferTo(*t.env, -1, 73000), 0u);
  int type = 0;
  socklen_t length = sizeof type;
  ASSERT_EQ(getsockopt(s.get(), SOL_SOCKET, SO_TYPE, &type, &length), 0);
  EXPECT_EQ(type, SOCK_STREAM);
}

}  // namespace
