#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "rtsp/media_session.h"
#include "test_environment.h"

namespace {

using namespace std::string_literals;

std::string BaseSdp(bool avc) {
  std::string sdp =
      "v=0\r\no=- 1234 1 IN IP4 127.0.0.1\r\ns=Live\r\nc=IN IP4 0.0.0.0\r\nt=0 0\r\n"
      "a=control:*\r\na=range:npt=0-\r\n"
      "m=audio 0 RTP/AVP 96\r\na=rtpmap:96 MPEG4-GENERIC/24000/2\r\n"
      "a=fmtp:96 streamtype=5;profile-level-id=15;mode=AAC-hbr;sizelength=13;indexlength=3;"
      "indexdeltalength=3;config=1310\r\na=control:trackID=1\r\n"
      "m=video 0 RTP/AVP 97\r\n";
  if (avc) {
    sdp += "a=rtpmap:97 X-TLX-AVC/90000\r\n";
  } else {
    sdp += "a=rtpmap:97 MP4V-ES/90000\r\na=fmtp:97 profile-level-id=1;config=000001B001\r\n";
  }
  return sdp + "a=x-dimensions:320,240\r\na=framerate:30\r\na=control:trackID=2\r\n";
}

std::unique_ptr<MediaSession> Parse(TestEnvironment& t, const std::string& sdp) {
  return std::unique_ptr<MediaSession>(MediaSession::createNew(*t.env, sdp.c_str()));
}

TEST(Sdp, TheBaseStationsDescriptionGivesEveryValue) {
  for (bool avc : {false, true}) {
    TestEnvironment t;
    auto session = Parse(t, BaseSdp(avc));
    ASSERT_TRUE(session);
    EXPECT_STREQ(session->controlPath(), "*");
    EXPECT_STREQ(session->rangeAttribute(), "npt=0-");
    ASSERT_EQ(session->subsessions().size(), 2u);
    MediaSubsession& audio = *session->subsessions()[0];
    EXPECT_STREQ(audio.mediumName(), "audio");
    EXPECT_STREQ(audio.protocolName(), "RTP/AVP");
    EXPECT_STREQ(audio.codecName(), "MPEG4-GENERIC");
    EXPECT_EQ(audio.rtpPayloadFormat(), 96);
    EXPECT_EQ(audio.rtpTimestampFrequency(), 24000u);
    EXPECT_EQ(audio.numChannels(), 2u);
    EXPECT_STREQ(audio.fmtp_mode(), "AAC-hbr");
    EXPECT_STREQ(audio.fmtp_config(), "1310");
    EXPECT_EQ(audio.fmtp_sizelength(), 13u);
    EXPECT_EQ(audio.fmtp_indexlength(), 3u);
    EXPECT_EQ(audio.fmtp_indexdeltalength(), 3u);
    EXPECT_EQ(audio.fmtp_profile_level_id(), 15u);
    EXPECT_EQ(audio.fmtp_streamtype(), 5u);
    EXPECT_STREQ(audio.controlPath(), "trackID=1");
    MediaSubsession& video = *session->subsessions()[1];
    EXPECT_STREQ(video.mediumName(), "video");
    EXPECT_STREQ(video.codecName(), avc ? "X-TLX-AVC" : "MP4V-ES");
    EXPECT_EQ(video.rtpTimestampFrequency(), 90000u);
    EXPECT_EQ(video.numChannels(), 1u);
    EXPECT_EQ(video.videoWidth(), 320);
    EXPECT_EQ(video.videoHeight(), 240);
    EXPECT_EQ(video.videoFPS(), 30.0);
    EXPECT_STREQ(video.fmtp_config(), avc ? "" : "000001B001");
    EXPECT_EQ(video.fmtp_profile_level_id(), avc ? 0u : 1u);
    EXPECT_STREQ(video.controlPath(), "trackID=2");
    EXPECT_TRUE(audio.initiate(-1));
    EXPECT_TRUE(video.initiate(-1));
    EXPECT_NE(audio.readSource(), nullptr);
    EXPECT_NE(video.rtcpInstance(), nullptr);
  }
}

TEST(Sdp, ForeignWritersDescriptionWithBlanksAndLfLineEnds) {
  TestEnvironment t;
  auto session = Parse(t,
      "v=0\no=- 0 0 IN IP4 127.0.0.1\ns=No Name\nc=IN IP4 127.0.0.1\nt=0 0\na=tool:libavformat 59\n"
      "m=audio 5004 RTP/AVP 97\nb=AS:48\na=rtpmap:97 mpeg4-generic/24000/2\n"
      "a=fmtp:97 profile-level-id=1;mode=AAC-hbr;sizelength=13;indexlength=3;indexdeltalength=3; "
      "config=1310\n");
  ASSERT_TRUE(session);
  MediaSubsession& audio = *session->subsessions()[0];
  EXPECT_STREQ(audio.codecName(), "MPEG4-GENERIC");
  EXPECT_EQ(audio.serverPortNum(), 5004);
  EXPECT_EQ(audio.rtpTimestampFrequency(), 24000u);
  EXPECT_STREQ(audio.fmtp_config(), "1310");
  EXPECT_EQ(audio.numChannels(), 2u);
}

TEST(Sdp, StaticPayloadTypesTakeTheirClockAndDynamicOnesNeedAMap) {
  TestEnvironment t;
  auto session = Parse(t, "v=0\r\nm=video 0 RTP/AVP 14\r\nm=audio 0 RTP/AVP 0\r\nm=video 0 RTP/AVP 98\r\n");
  ASSERT_TRUE(session);
  auto& s = session->subsessions();
  EXPECT_EQ(s[0]->rtpTimestampFrequency(), 90000u);
  EXPECT_EQ(s[1]->rtpTimestampFrequency(), 8000u);
  EXPECT_TRUE(s[0]->initiate(-1));
  EXPECT_TRUE(s[1]->initiate(-1));
  EXPECT_FALSE(s[2]->initiate(-1));
  EXPECT_EQ(s[2]->readSource(), nullptr);
  EXPECT_NE(std::string(t.env->getResultMsg()).find("98"), std::string::npos);
}

TEST(Sdp, MalformedDescriptions) {
  std::string seventeen = "v=0\r\n";
  for (int i = 0; i < 17; ++i) seventeen += "m=video 0 RTP/AVP 97\r\n";
  const std::string longLine = "v=0\r\nm=video 0 RTP/AVP 97\r\na=x-" + std::string(5000, 'q') + "\r\n";
  const std::string sixteen = seventeen.substr(0, seventeen.size() - 22);
  struct Row {
    const char* name;
    std::string sdp;
    bool session;
  } rows[] = {
      {"no m= line", "v=0\r\ns=x\r\na=control:*\r\n", false},
      {"m=video alone", "v=0\r\nm=video\r\n", false},
      {"17 media", seventeen, false},
      {"16 media", sixteen, true},
      {"a 5000-byte line", longLine, false},
      {"NUL bytes end the text", "v=0\r\nm=video 0 RTP/AVP 97\r\n\0m=audio 0 RTP/AVP 96\r\n"s, true},
      {"empty", "", false},
  };
  for (const Row& row : rows) {
    TestEnvironment t;
    auto session = Parse(t, row.sdp);
    EXPECT_EQ(session != nullptr, row.session) << row.name;
    if (!row.session) {
      EXPECT_STRNE(t.env->getResultMsg(), "") << row.name;
    }
  }
  // Lines that cannot be read are ignored, the rest of the medium is kept.
  TestEnvironment t;
  auto session = Parse(t,
      "v=0\r\nm=video\r\na=control:ignored\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 X/abc\r\n"
      "a=fmtp:96 sizelength;mode=x;config\r\na=x-dimensions:12\r\na=framerate:fast\r\na=control:t\r\n");
  ASSERT_TRUE(session);
  ASSERT_EQ(session->subsessions().size(), 1u);
  MediaSubsession& s = *session->subsessions()[0];
  EXPECT_STREQ(s.codecName(), "");
  EXPECT_EQ(s.rtpTimestampFrequency(), 0u);
  EXPECT_STREQ(s.fmtp_mode(), "x");
  EXPECT_EQ(s.fmtp_sizelength(), 0u);
  EXPECT_EQ(s.videoWidth(), 0);
  EXPECT_EQ(s.videoFPS(), 0.0);
  EXPECT_STREQ(s.controlPath(), "t");
  EXPECT_STREQ(session->controlPath(), "");
  EXPECT_FALSE(s.initiate(-1));
}

}  // namespace
