#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demux_recorder.h"
#include "rtsp/rtsp_message.h"

namespace {

const std::string kNext = "RTSP/1.0 200 OK\r\nCSeq: 9\r\n\r\n";
const std::string kNextEvent = "response 200 [OK] CSeq=9 body[]";

struct Row {
  const char* name;
  std::string input;
  std::vector<std::string> events;  // then the next message, always
};

TEST(RtspMessage, ParsesTheSameWholeAndSplitAndRecoversAfterMalformedInput) {
  const std::string longHeader = "RTSP/1.0 200 OK\r\nX: " + std::string(9000, 'a') + "\r\n\r\n";
  const Row rows[] = {
      {"full response",
       "RTSP/1.0 200 OK\r\nCSeq: 2\r\nContent-Base: rtsp://h/x/\r\nSession: 1A2B;timeout=60\r\n"
       "Transport: RTP/AVP/TCP;unicast;interleaved=4-5\r\nContent-Length: 5\r\n\r\nv=0\r\n",
       {"response 200 [OK] CSeq=2 Content-Base=rtsp://h/x/ Session=1A2B;timeout=60 "
        "Transport=RTP/AVP/TCP;unicast;interleaved=4-5 Content-Length=5 body[v=0\r\n]"}},
      {"any case, LF only, no reason", "RTSP/1.0 200\ncseq: 3\nCONTENT-LENGTH: 2\n\nab",
       {"response 200 [] cseq=3 CONTENT-LENGTH=2 body[ab]"}},
      {"404", "RTSP/1.0 404 Not Found\r\nCSeq: 4\r\n\r\n", {"response 404 [Not Found] CSeq=4 body[]"}},
      {"454", "RTSP/1.0 454 Session Not Found\r\nCSeq: 5\r\n\r\n",
       {"response 454 [Session Not Found] CSeq=5 body[]"}},
      {"461", "RTSP/1.0 461 Unsupported Transport\r\nCSeq: 6\r\n\r\n",
       {"response 461 [Unsupported Transport] CSeq=6 body[]"}},
      {"request from the server", "GET_PARAMETER rtsp://h/ RTSP/1.0\r\nCSeq: 1\r\nContent-Length: 3\r\n\r\nxyz",
       {"request GET_PARAMETER rtsp://h/ CSeq=1 Content-Length=3 body[xyz]"}},
      {"no status code", "RTSP/1.0\r\nCSeq: 1\r\n\r\n", {"refused status line without a status code"}},
      {"code 99", "RTSP/1.0 99 Odd\r\nCSeq: 1\r\n\r\n", {"refused bad status code \"99\""}},
      {"code 1000", "RTSP/1.0 1000 Odd\r\nCSeq: 1\r\n\r\n", {"refused bad status code \"1000\""}},
      {"negative length", "RTSP/1.0 200 OK\r\nContent-Length: -1\r\n\r\n", {"refused bad Content-Length"}},
      {"length not a number", "RTSP/1.0 200 OK\r\nContent-Length: ten\r\n\r\n", {"refused bad Content-Length"}},
      {"length 10^12", "RTSP/1.0 200 OK\r\nContent-Length: 1000000000000\r\n\r\n",
       {"refused body longer than 64 KiB"}},
      {"length over 64 KiB", "RTSP/1.0 200 OK\r\nContent-Length: 65537\r\n\r\n",
       {"refused body longer than 64 KiB"}},
      {"header block past 8 KiB", longHeader, {"refused header block longer than 8 KiB"}},
      {"NUL byte", std::string("RTSP/1.0 200 OK\r\nCSeq: 1\0\r\n\r\n", 29), {"refused NUL byte in the header block"}},
      {"junk before a response", std::string("\x01\x02garbage\0RTS", 14) + "X", {}},
      {"header without colon", "RTSP/1.0 200 OK\r\nCSeq 1\r\n\r\n", {"refused bad header line \"CSeq 1\""}},
  };
  for (const Row& row : rows) {
    bool allSame = false;
    std::vector<std::string> events = EventsOfEverySplit(row.input + kNext, 0, &allSame);
    std::vector<std::string> expected = row.events;
    expected.push_back(kNextEvent);
    EXPECT_EQ(events, expected) << row.name;
    EXPECT_TRUE(allSame) << row.name;
  }
}

TEST(StatusLine, TheCodeIsAWholeTokenOfThreeDigits) {
  struct Row {
    std::string line;
    const char* protocol;
    int code;  // 0: refused
    std::string reasonOrError;
  } rows[] = {
      {"HTTP/1.0 200 OK", "HTTP/", 200, "OK"},
      {"HTTP/1.1 200", "HTTP/", 200, ""},
      {"HTTP/1.0 403 Forbidden\r", "HTTP/", 403, "Forbidden"},
      {"HTTP/1.0 999 Odd but whole", "HTTP/", 999, "Odd but whole"},
      {"RTSP/1.0 454 Session Not Found", "RTSP/", 454, "Session Not Found"},
      {"HTTP/1.0 2000 OK", "HTTP/", 0, "bad status code \"2000\""},
      {"RTSP/1.0 2000 OK", "RTSP/", 0, "bad status code \"2000\""},
      {"HTTP/1.0 200OK", "HTTP/", 0, "bad status code \"200OK\""},
      {"HTTP/1.0 20 OK", "HTTP/", 0, "bad status code \"20\""},
      {"HTTP/1.0 -20 OK", "HTTP/", 0, "bad status code \"-20\""},
      {"HTTP/1.0 +20 OK", "HTTP/", 0, "bad status code \"+20\""},
      {"HTTP/1.0 099 OK", "HTTP/", 0, "bad status code \"099\""},
      {"HTTP/1.0  200 OK", "HTTP/", 0, "bad status code \"\""},
      {"HTTP/1.0", "HTTP/", 0, "status line without a status code"},
      {"RTSP/1.0 200 OK", "HTTP/", 0, "status line not beginning with \"HTTP/\""},
  };
  for (const Row& row : rows) {
    int code = 0;
    std::string reason = "unchanged", error;
    const bool ok = ParseStatusLine(row.line, row.protocol, &code, &reason, &error);
    EXPECT_EQ(ok, row.code != 0) << row.line;
    EXPECT_EQ(code, row.code) << row.line;
    EXPECT_EQ(ok ? reason : error, row.reasonOrError) << row.line;
  }
}

TEST(RtspMessage, BodyUpTo64KiBIsTaken) {
  const std::string body(kRtspMaxBodyBytes, 'b');
  const std::string text =
      "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  RtspMessageParser parser;
  RtspMessage m;
  size_t consumed = 0;
  std::string error;
  EXPECT_EQ(parser.parse(text.substr(0, text.size() - 1), &m, &consumed, &error),
            RtspMessageParser::Result::kNeedMore);
  EXPECT_EQ(consumed, 0u);
  ASSERT_EQ(parser.parse(text, &m, &consumed, &error), RtspMessageParser::Result::kMessage);
  EXPECT_EQ(consumed, text.size());
  EXPECT_EQ(m.body.size(), body.size());
  EXPECT_EQ(m.cseq(), 1);
}

TEST(RtspMessage, CSeqMustBeANumber) {
  RtspMessage m;
  m.headers = {{"CSeq", "12x"}};
  EXPECT_EQ(m.cseq(), -1);
  m.headers = {{"cseq", "12"}};
  EXPECT_EQ(m.cseq(), 12);
  m.headers = {};
  EXPECT_EQ(m.cseq(), -1);
}

}  // namespace
