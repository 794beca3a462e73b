// Message groups: the queue a group gets, what a send carries, and how the
// receive loop ends.
#include "link/network/tlx_msg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "link_test_support.h"

namespace tlx::link::test {
namespace {

// A group whose payload is a counting pattern and whose handler keeps what
// it is given; a message of type -1 makes the handler end the loop.
class Group final : public TLXMsg {
 public:
  Group(const char* name, int maxLength) : TLXMsg(name, maxLength), bytes_(maxLength > 0 ? maxLength : 0) {
    for (size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = static_cast<uint8_t>(i + 1);
  }
  std::vector<std::string> Handled() {
    std::lock_guard guard(lock_);
    return handled_;
  }

 protected:
  const void* payload() override { return bytes_.data(); }
  int handleMsg(const TLX_MSG_HEADER& header, const uint8_t* payload) override {
    std::lock_guard guard(lock_);
    handled_.emplace_back(header.name);
    return header.type == -1 ? -1 : 0;
  }

 private:
  std::vector<uint8_t> bytes_;
  std::mutex lock_;
  std::vector<std::string> handled_;
};

class TlxMsgTest : public LinkTest {};

TEST_F(TlxMsgTest, ALengthOfZeroCarriesTheMaximumWhileTheHeaderSaysZero) {
  Group from("FROM", 40);
  Group to("TO", 100);
  from.setType(7);
  ASSERT_EQ(0, from.sendMsgQ("TO"));
  uint8_t slot[116] = {};
  TestTask reader("tReader", [&] { EXPECT_EQ(0, msgQReceive(to.queue(), slot, sizeof slot, 0)); });
  ASSERT_TRUE(reader.Join());
  TLX_MSG_HEADER header;
  std::memcpy(&header, slot, sizeof header);
  EXPECT_STREQ("FROM", header.name);
  EXPECT_EQ(7, header.type);
  EXPECT_EQ(0, header.length);
  for (int i = 0; i < 40; ++i) EXPECT_EQ(i + 1, slot[16 + i]) << i;
  EXPECT_EQ(0, slot[16 + 40]) << "no more than the sender's maximum";
}

TEST_F(TlxMsgTest, EndRecvEndsTheLoopWithoutReachingTheHandler) {
  Group group("LOOP", 16);
  int result = -2;
  TestTask loop("tLoop", [&] { result = group.recvMsgQ(); });
  group.setLength(4);
  ASSERT_EQ(0, group.sendMsgQ("LOOP"));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (group.Handled().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // A second loop on the same group is refused.
  TestTask second("tLoop2", [&] {
    EXPECT_EQ(-1, group.recvMsgQ());
    EXPECT_EQ(S_tlxMsg_BAD_LENGTH, errnoGet());
  });
  ASSERT_TRUE(second.Join());
  group.stopRecvMsgQ();
  ASSERT_TRUE(loop.Join());
  EXPECT_EQ(0, result);
  EXPECT_EQ(std::vector<std::string>{"LOOP"}, group.Handled());

  // A handler's -1 ends a new loop with -1.
  TestTask again("tLoop3", [&] { result = group.recvMsgQ(); });
  group.setType(-1);
  ASSERT_EQ(0, group.sendMsgQ("LOOP"));
  ASSERT_TRUE(again.Join());
  EXPECT_EQ(-1, result);
}

TEST_F(TlxMsgTest, RefusalsSayWhy) {
  Group group("SENDER", 8);
  TestTask task("tSender", [&] {
    EXPECT_EQ(-1, group.sendMsgQ("NOBODY"));
    EXPECT_EQ(S_tlxMsg_NO_GROUP, errnoGet());
    EXPECT_EQ(-1, group.sendMsgQ(nullptr));
    EXPECT_EQ(S_tlxMsg_BAD_LENGTH, errnoGet());

    // A group with a maximum above 1024 can neither send nor receive.
    Group big("BIG", 1025);
    EXPECT_EQ(-1, big.sendMsgQ("SENDER"));
    EXPECT_EQ(S_tlxMsg_BAD_LENGTH, errnoGet());
    EXPECT_EQ(-1, big.recvMsgQ());
    EXPECT_EQ(S_tlxMsg_BAD_LENGTH, errnoGet());

    // The queue holds 20 messages; the 21st send fails.
    for (int i = 0; i < kMsgQueueDepth; ++i) EXPECT_EQ(0, group.sendMsgQ("SENDER")) << i;
    EXPECT_EQ(-1, group.sendMsgQ("SENDER"));
  });
  ASSERT_TRUE(task.Join());
}

TEST_F(TlxMsgTest, ANameIsOneGroupOnlyAndGoesWithIt) {
  MSG_Q_ID queue = nullptr;
  int maxLength = 0;
  {
    Group first("SAME", 12);
    Group second("SAME", 30);
    EXPECT_NE(nullptr, first.queue());
    EXPECT_EQ(nullptr, second.queue()) << "a name already in the table is refused";
    ASSERT_TRUE(tlxMsgFindGroup("SAME", &queue, &maxLength));
    EXPECT_EQ(first.queue(), queue);
    EXPECT_EQ(12, maxLength);
    Group unnamed("", 10);
    EXPECT_EQ(nullptr, unnamed.queue());
  }
  EXPECT_FALSE(tlxMsgFindGroup("SAME", &queue, &maxLength));
}

}  // namespace
}  // namespace tlx::link::test
