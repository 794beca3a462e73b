#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "demux_recorder.h"

namespace {

std::string Frame(int channel, const std::string& packet) {
  std::string f = "$";
  f += static_cast<char>(channel);
  f += static_cast<char>(packet.size() >> 8);
  f += static_cast<char>(packet.size() & 0xFF);
  return f + packet;
}

TEST(InterleavedDemux, DispatchesTheSameSequenceForEverySplit) {
  const std::string big(65535, 'z');
  const std::string stream =
      "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 2\r\n\r\nok" + Frame(0, "p0") + Frame(1, "p1") +
      Frame(2, "") + "RTSP/1.0 200 OK\r\nCSeq: 2\r\n\r\n" + Frame(3, big) + "\x01\x02junk" +
      Frame(2, "p2") + Frame(7, "unbound") + Frame(1, "last");
  bool allSame = false;
  // Splits of a 64 KiB stream at every byte are many; the big frame is only
  // fed whole and one byte at a time, the rest at every split.
  DemuxRecorder whole(4);
  whole.demux.feed(stream.data(), stream.size());
  const std::vector<std::string> expected = {
      "response 200 [OK] CSeq=1 Content-Length=2 body[ok]",
      "frame 0 p0",
      "frame 1 p1",
      "frame 2 ",
      "response 200 [OK] CSeq=2 body[]",
      "frame 3 " + big,
      "frame 2 p2",
      "frame 1 last",
  };
  EXPECT_EQ(whole.events, expected);
  EXPECT_EQ(whole.demux.unboundFrames(), 1u);
  EXPECT_EQ(whole.demux.junkBytes(), 6u);
  EXPECT_EQ(whole.demux.buffered(), 0u);

  const std::string small =
      "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 2\r\n\r\nok" + Frame(0, "p0") + Frame(2, "") +
      "RTSP/1.0 200 OK\r\nCSeq: 2\r\n\r\n" + "\x01\x02junk" + Frame(7, "unbound") + Frame(1, "last");
  std::vector<std::string> events = EventsOfEverySplit(small, 4, &allSame);
  EXPECT_TRUE(allSame);
  EXPECT_EQ(events.size(), 5u);

  DemuxRecorder bytes(4);
  for (char c : stream) bytes.demux.feed(&c, 1);
  EXPECT_EQ(bytes.events, expected);
}

TEST(InterleavedDemux, HeaderReaderStopsAtItsLimitAndLeavesWhatFollows) {
  DemuxRecorder r(2);
  const std::string header = "HTTP/1.0 200 OK\r\nContent-Type: application/x-rtsp-tunnelled\r\n\r\n";
  const std::string rest = "RTSP/1.0 200 OK\r\nCSeq: 1\r\n\r\n" + Frame(1, "rtcp");
  r.demux.append(header.data(), 10);
  std::string got;
  EXPECT_EQ(r.demux.takeHttpHeader(5000, &got), InterleavedDemux::HeaderResult::kNeedMore);
  r.demux.append(header.data() + 10, header.size() - 10);
  r.demux.append(rest.data(), rest.size());
  ASSERT_EQ(r.demux.takeHttpHeader(5000, &got), InterleavedDemux::HeaderResult::kDone);
  EXPECT_EQ(got, header);
  EXPECT_TRUE(r.events.empty());
  r.demux.process();
  EXPECT_EQ(r.events, (std::vector<std::string>{"response 200 [OK] CSeq=1 body[]", "frame 1 rtcp"}));

  DemuxRecorder limited(0);
  limited.demux.append(header.data(), header.size());
  EXPECT_EQ(limited.demux.takeHttpHeader(header.size() - 1, &got),
            InterleavedDemux::HeaderResult::kTooLong);
  EXPECT_EQ(limited.demux.takeHttpHeader(header.size(), &got), InterleavedDemux::HeaderResult::kDone);
}

// Whatever the peer sends, the demultiplexer holds no more than one message
// (header block and body at their limits) or one frame, plus the read that
// brought it.
TEST(InterleavedDemux, PendingBytesStayBoundedWhateverThePeerSends) {
  constexpr size_t kRead = 16384;
  struct Row {
    const char* name;
    std::string start;
    char filler;  // repeated after the start
  } rows[] = {
      {"header block without an end", "RTSP/1.0 200 OK\r\nX: ", 'a'},
      {"request line without an end", "GET_PARAMETER ", 'A'},
      {"largest body, then more of it", "RTSP/1.0 200 OK\r\nContent-Length: 65536\r\n\r\n", 'b'},
      {"frames on an unbound channel, the first of 64 KiB", std::string("$\x09\xff\xff", 4), '$'},
      {"junk", "", '\x01'},
  };
  for (const Row& row : rows) {
    DemuxRecorder r(0);
    std::string chunk = row.start;
    size_t most = 0;
    for (size_t sent = 0; sent < 4 * 1024 * 1024; sent += kRead) {
      chunk.resize(kRead, row.filler);
      r.demux.feed(chunk.data(), chunk.size());
      most = std::max(most, r.demux.buffered());
      chunk.clear();
    }
    EXPECT_LE(most, kRtspMaxHeaderBytes + kRtspMaxBodyBytes + kRead) << row.name;
  }
}

}  // namespace
