#include "link/os/msg_q_lib.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "link_test_support.h"
#include "win32/synch.h"

namespace tlx::link::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Received {
  int result = -2;
  std::string bytes;
};

// Receives one message on a task (a stop check makes receiving a task's job).
Received ReceiveOnTask(MSG_Q_ID queue, int bufferLength, int timeoutTicks) {
  Received received;
  {
    TestTask task("tReceiver", [&] {
      std::string buffer(static_cast<size_t>(bufferLength), '\0');
      received.result = msgQReceive(queue, buffer.data(), bufferLength, timeoutTicks);
      received.bytes = buffer;
    });
  }
  return received;
}

int Send(MSG_Q_ID queue, const std::string& text, int timeoutTicks = 0) {
  return msgQSend(queue, text.data(), static_cast<int>(text.size()), timeoutTicks, 0);
}

class MsgQueue : public LinkTest {};

TEST_F(MsgQueue, FullQueueRefusesAtOnceAndOrderIsKept) {
  MSG_Q_ID queue = msgQCreate(3, 16, 0);
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(Send(queue, "one"), 0);
  EXPECT_EQ(Send(queue, "two"), 0);
  EXPECT_EQ(Send(queue, "three"), 0);
  const auto start = Clock::now();
  EXPECT_EQ(Send(queue, "four"), -1);
  EXPECT_LT(ElapsedMs(start), kSchedulingSlackMs);
  EXPECT_EQ(msgQNumMsgs(queue), 3);

  EXPECT_EQ(ReceiveOnTask(queue, 16, 0).bytes.c_str(), std::string("one"));
  EXPECT_EQ(Send(queue, "four"), 0);
  for (const char* expected : {"two", "three", "four"}) {
    const Received received = ReceiveOnTask(queue, 16, 0);
    EXPECT_EQ(received.result, 0);
    EXPECT_EQ(received.bytes.c_str(), std::string(expected));
  }
  EXPECT_EQ(ReceiveOnTask(queue, 16, 0).result, -1);
  EXPECT_EQ(msgQDelete(queue), 0);
}

TEST_F(MsgQueue, MessagesAreCutToTheSlotAndToTheReceiveBuffer) {
  struct Case {
    int slotSize;
    int messageLength;
    int bufferLength;
    int kept;  // leading bytes received
  };
  const Case cases[] = {
      {64, 100, 128, 64},  // stored cut to the slot
      {32, 20, 10, 10},    // read cut to the buffer; the rest is lost
      {32, 20, 32, 20},
      {8, 0, 8, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "slot " << c.slotSize << ", message " << c.messageLength << ", buffer "
                                    << c.bufferLength);
    MSG_Q_ID queue = msgQCreate(2, c.slotSize, 0);
    std::string message;
    for (int i = 0; i < c.messageLength; ++i) message += static_cast<char>('A' + i % 26);
    ASSERT_EQ(Send(queue, message), 0);
    ASSERT_EQ(Send(queue, "next"), 0);
    const Received first = ReceiveOnTask(queue, c.bufferLength, 0);
    EXPECT_EQ(first.result, 0);
    EXPECT_EQ(first.bytes.substr(0, static_cast<size_t>(c.kept)), message.substr(0, static_cast<size_t>(c.kept)));
    EXPECT_EQ(first.bytes.find_first_not_of('\0', static_cast<size_t>(c.kept)), std::string::npos);
    EXPECT_EQ(ReceiveOnTask(queue, c.bufferLength, 0).bytes.substr(0, 4), "next");
    msgQDelete(queue);
  }
}

TEST_F(MsgQueue, ThreadThatIsNotATaskGetsMinusOneAndTheMessageStays) {
  MSG_Q_ID queue = msgQCreate(1, 4, 0);
  ASSERT_EQ(Send(queue, "abc"), 0);
  char buffer[4] = {};
  EXPECT_EQ(msgQReceive(queue, buffer, 4, -1), -1);
  EXPECT_EQ(msgQNumMsgs(queue), 1);
  EXPECT_STREQ(ReceiveOnTask(queue, 4, 0).bytes.c_str(), "abc");
  msgQDelete(queue);
}

TEST_F(MsgQueue, RacingSendersLoseNothingAndDuplicateNothing) {
  constexpr int kSenders = 8;
  constexpr int kPerSender = 400;
  struct Message {
    int sender;
    int sequence;
  };
  MSG_Q_ID queue = msgQCreate(3, sizeof(Message), 0);
  std::vector<int> next(kSenders, 0);
  int received = 0;
  bool inOrder = true;
  TestTask receiver("tReceiver", [&] {
    for (; received < kSenders * kPerSender; ++received) {
      Message message{};
      if (msgQReceive(queue, &message, sizeof message, 600) != 0) return;
      if (message.sender < 0 || message.sender >= kSenders || message.sequence != next[message.sender]) {
        inOrder = false;
        return;
      }
      ++next[message.sender];
    }
  });
  std::vector<std::thread> senders;
  std::atomic<int> failures{0};
  for (int s = 0; s < kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int i = 0; i < kPerSender; ++i) {
        const Message message{s, i};
        if (msgQSend(queue, &message, sizeof message, -1, 0) != 0) ++failures;
      }
    });
  }
  for (auto& sender : senders) sender.join();
  ASSERT_TRUE(receiver.Join());
  EXPECT_EQ(failures, 0);
  EXPECT_TRUE(inOrder);
  EXPECT_EQ(received, kSenders * kPerSender);
  EXPECT_EQ(msgQNumMsgs(queue), 0);
  msgQDelete(queue);
}

TEST_F(MsgQueue, DeleteReleasesBlockedReceiverAndSenderWithMinusOne) {
  {
    MSG_Q_ID queue = msgQCreate(2, 8, 0);
    int result = 0;
    TestTask receiver("tReceiver", [&] {
      char buffer[8];
      result = msgQReceive(queue, buffer, sizeof buffer, -1);
    });
    // Deleting before the receiver holds the queue would free it under its feet.
    while (win32::WaiterCount(queue->semaphore()) < 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(msgQDelete(queue), 0);
    ASSERT_TRUE(receiver.Join());
    EXPECT_EQ(result, -1);
  }
  {
    MSG_Q_ID queue = msgQCreate(1, 8, 0);
    ASSERT_EQ(Send(queue, "full"), 0);
    std::atomic<int> result{0};
    std::atomic<bool> sending{false};
    std::thread sender([&] {
      sending = true;
      result = Send(queue, "more", -1);
    });
    // The sender retries a full queue every 10 ms; once it has started, a few
    // of its rounds pass before the delete.
    while (!sending) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(msgQDelete(queue), 0);
    sender.join();
    EXPECT_EQ(result, -1);
  }
}

TEST_F(MsgQueue, NullQueueIsRefused) {
  char buffer[4];
  EXPECT_EQ(msgQSend(nullptr, "x", 1, 0, 0), -1);
  EXPECT_EQ(msgQNumMsgs(nullptr), -1);
  EXPECT_EQ(msgQDelete(nullptr), -1);
  EXPECT_EQ(msgQEvStart(nullptr, 1), -1);
  EXPECT_EQ(ReceiveOnTask(nullptr, 4, 0).result, -1);
  EXPECT_EQ(msgQReceive(nullptr, buffer, 4, 0), -1);
}

}  // namespace
}  // namespace tlx::link::test
