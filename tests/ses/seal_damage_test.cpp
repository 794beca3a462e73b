// Damaged, forged and random sealed input through both openers. Every input
// sits in a block of exactly its size and every output buffer has exactly the
// room the opener documents, so a read or write past either is caught under
// the address sanitizer; the checks here are on what the openers report.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "ses/ses_cipher.h"
#include "ses/ses_message.h"
#include "ses/ses_packet.h"
#include "ses_test_support.h"

namespace {

constexpr char kKeyText[] = "KTqrwpsVNB";

Bytes randomBytes(std::mt19937& random, size_t n) {
  Bytes bytes(n);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

// A body whose header claims `claimed` payload bytes over `bodySize` bytes of
// random content, run through the variant's forward transform, behind the
// variant's prefix: the opener gets past the transform to the length check.
Bytes forge(bool packet, size_t bodySize, uint16_t claimed, std::mt19937& random) {
  Bytes body = randomBytes(random, bodySize);
  const uint8_t high = static_cast<uint8_t>(claimed >> 8);
  const uint8_t low = static_cast<uint8_t>(claimed);
  body[8] = packet ? high : low;
  body[9] = packet ? low : high;
  if (packet) {
    SesCipherKey(kKeyText).forward(body.data(), body.size());
  } else {
    SesBlockFilter(kKeyText).forward(body.data(), body.size());
  }
  Bytes sealed = {0xFF, 0xFF, 0xFF, 0xFF};
  sealed.insert(sealed.end(), body.begin(), body.end());
  return sealed;
}

Bytes damage(Bytes sealed, std::mt19937& random) {
  switch (random() % 4) {
    case 0:  // a few bytes changed anywhere
      for (int k = 1 + random() % 4; k > 0 && !sealed.empty(); --k) {
        sealed[random() % sealed.size()] ^= static_cast<uint8_t>(1 + random() % 255);
      }
      break;
    case 1:  // cut
      sealed.resize(random() % (sealed.size() + 1));
      break;
    case 2: {  // grown
      Bytes tail = randomBytes(random, 1 + random() % 40);
      sealed.insert(sealed.end(), tail.begin(), tail.end());
      break;
    }
    default:  // a whole block moved or repeated
      if (sealed.size() >= 36) {
        const size_t from = 4 + 16 * (random() % ((sealed.size() - 4) / 16));
        Bytes block(sealed.begin() + from, sealed.begin() + from + 16);
        sealed.insert(sealed.begin() + 4 + 16 * (random() % ((sealed.size() - 4) / 16)), block.begin(), block.end());
      }
      break;
  }
  return sealed;
}

struct Opened {
  bool ok = false;
  size_t length = 0;
};

Opened openExact(bool packet, const Bytes& input) {
  std::unique_ptr<uint8_t[]> data(new uint8_t[input.size()]);
  std::copy(input.begin(), input.end(), data.get());
  Opened opened;
  if (packet) {
    SesPacket opener;
    opener.setKeyText(kKeyText);
    const ptrdiff_t room = SesPacket::openedSize(input.size());
    std::unique_ptr<uint8_t[]> out(new uint8_t[room > 0 ? room : 0]);
    opened.ok = opener.open(data.get(), input.size(), out.get(), &opened.length);
  } else {
    SesBytes out;
    opened.ok = SesMessage::open(data.get(), input.size(), kKeyText, out);
    opened.length = out.size();
  }
  return opened;
}

}  // namespace

TEST(SealDamage, OpenersRefuseWhatTheyCannotConfirm) {
  std::mt19937 random(20261210);
  for (bool packet : {true, false}) {
    SCOPED_TRACE(variantName(packet));
    for (int round = 0; round < 1500; ++round) {
      const Bytes payload = randomBytes(random, random() % 70);
      const Bytes sealed = sealPayload(packet, kKeyText, payload);
      ASSERT_FALSE(sealed.empty());
      Bytes input;
      switch (round % 3) {
        case 0:
          input = damage(sealed, random);
          break;
        case 1: {
          // A claimed length anywhere from 0 to well past the bytes present.
          const size_t bodySize = 16 * (1 + random() % 5) + (packet ? 0 : random() % 16);
          input = forge(packet, bodySize, static_cast<uint16_t>(random() % (2 * bodySize + 8)), random);
          break;
        }
        default:
          input = randomBytes(random, random() % 120);
          break;
      }
      const Opened opened = openExact(packet, input);
      if (input == sealed) {
        EXPECT_TRUE(opened.ok);
        continue;
      }
      if (!opened.ok) continue;
      // Only a change the digest does not cover opens: the packet's padding,
      // or bytes past the message's claimed length.
      ASSERT_GE(input.size(), 20u) << toHex(input);
      EXPECT_LE(opened.length, input.size() - 20) << toHex(input);
    }
  }
}

TEST(SealDamage, PacketRefusesAClaimedLengthAboveTheBytesPresent) {
  std::mt19937 random(7);
  for (size_t blocks = 1; blocks <= 4; ++blocks) {
    const size_t bodySize = 16 * blocks;
    for (size_t claimed : {bodySize - 15, bodySize, bodySize + 100, size_t{65535}}) {
      SCOPED_TRACE(testing::Message() << bodySize << " " << claimed);
      EXPECT_FALSE(openExact(true, forge(true, bodySize, static_cast<uint16_t>(claimed), random)).ok);
    }
  }
}
