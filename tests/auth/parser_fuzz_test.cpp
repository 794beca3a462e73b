// Everything that reads bytes from a base station, fed a few thousand inputs
// mutated from valid answers with a fixed seed. Each input sits in a heap
// block of exactly its size, so a read past it is caught by the address
// sanitizer; every call must come back with one of its documented results.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "auth_exchange.h"
#include "digest.h"
#include "http_client.h"
#include "identity_fixture.h"
#include "ravix_spec.h"
#include "registration.h"
#include "state_fixture.h"
#include "win32/sockets.h"

namespace {

constexpr char kCode[] = "8372";

std::string Chunk(const std::string& data) {
  char size[16];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return size + data + "\r\n";
}

std::string Encrypted(const std::string& text) {
  unsigned char key[16];
  tlxRegistrationKey(kCode, key);
  std::vector<uint8_t> cipher;
  Auth_AES_encrypt(key, reinterpret_cast<const unsigned char*>(text.data()), text.size(), cipher);
  return std::string(cipher.begin(), cipher.end());
}

const std::string kBaseData =
    "STATUS: 1\nREGISTRATION_VER: 1.0\r\nALIAS: Den\rETHER_MAC_ADDR_B: 0A0B0C0D0E0F\nINFO_SERIAL_B: S1\n"
    "INFO_MODEL_B: HX-R10\nK: 1\nK: 2\n";
const std::string kChallenge =
    "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"Ravix\", nonce=\"0123456789abcdef0123456789abcdef\", "
    "algorithm=MD5, domain=\"/ravix/\", qop=\"auth\"\r\n\r\n";

// The valid answers and texts the other tests use, as seeds.
std::vector<std::string> Seeds() {
  const std::string reply = "Registration OK\n" + Encrypted(kBaseData);
  return {
      kChallenge,
      "HTTP/1.1 200 OK\r\nServer: TLXStreamingServer; model=HX-R10, support=1/2/3, codec=1/2, id=abc, "
      "scaling=0x1, generation=3\r\n\r\n",
      "HTTP/1.1 503 Service Unavailable (in use)\r\nServer:  x;y\r\n a\r\n\tb\r\nContent-Length: 12\r\n\r\nBODY",
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(reply.size()) + "\r\n\r\n" + reply,
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunk(reply) + "0\r\n\r\n",
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a\r\nRegistration NG: duplicated\r\n0\r\n\r\n",
      R"(Digest cnonce="c1c1", nonce="n2n2", realm='R', username=u, uri="/x", nc=00000001, response="r", password="p")",
      "TLXStreamingClient, model=QZA-K20US, modeltype=0x10, generation=3, support=1/2/3, scaling=1",
      kBaseData,
      "3\r\nabc\r\n4\r\ndefg\r\n0\r\n\r\n",
  };
}

// Mutations that keep enough structure to get past the first checks: byte
// flips, tokens of the protocol inserted, pieces cut out, doubled or cut off,
// and two seeds spliced together.
class Mutator {
 public:
  explicit Mutator(std::vector<std::string> seeds) : seeds_(std::move(seeds)) {}

  std::string Next() {
    std::string text = seeds_[random_() % seeds_.size()];
    const int rounds = 1 + static_cast<int>(random_() % 4);
    for (int i = 0; i < rounds; ++i) Mutate(text);
    return text;
  }

 private:
  size_t Position(const std::string& text) { return text.empty() ? 0 : random_() % (text.size() + 1); }

  void Mutate(std::string& text) {
    static const std::vector<std::string> kTokens = {
        "\r\n", "\r", "\n", "\r\n\r\n", "\"", "'", ",", " ", "\t", "=", ";", ":", "/", std::string(1, '\0'),
        "\xff", "nonce=", "cnonce=", "realm=\"", "modeltype=", "support=99/31/32", "Content-Length: 3000",
        "Transfer-Encoding: chunked", "Server:", "WWW-Authenticate:", "fffff\r\n", "0\r\n\r\n",
        "Registration OK\n", std::string(300, 'v'), std::string(2100, 'h'), std::string(16, '\0')};
    switch (random_() % 6) {
      case 0:
        if (!text.empty()) text[random_() % text.size()] = static_cast<char>(random_());
        break;
      case 1:
        text.insert(Position(text), kTokens[random_() % kTokens.size()]);
        break;
      case 2: {
        const size_t at = Position(text);
        text.erase(at, random_() % 40);
        break;
      }
      case 3: {
        const size_t at = Position(text);
        text.insert(Position(text), text.substr(at, random_() % 64));
        break;
      }
      case 4:
        text.resize(Position(text));
        break;
      default: {
        const std::string& other = seeds_[random_() % seeds_.size()];
        text = text.substr(0, Position(text)) + other.substr(Position(other));
        break;
      }
    }
  }

  std::vector<std::string> seeds_;
  std::mt19937 random_{20261210};
};

// A heap copy of the text with nothing after it but, for the C-string
// parsers, its NUL.
std::unique_ptr<char[]> Exact(const std::string& text, bool withNul) {
  auto copy = std::make_unique<char[]>(text.size() + (withNul ? 1 : 0));
  std::memcpy(copy.get(), text.data(), text.size());
  if (withNul) copy[text.size()] = '\0';
  return copy;
}

// A socket from which the text can be read, after which the peer has gone.
struct Answer {
  explicit Answer(const std::string& text) {
    int pair[2];
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair), 0);
    reader.reset(pair[0]);
    writer.reset(pair[1]);
    EXPECT_EQ(send(writer.get(), text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
    shutdown(writer.get(), SHUT_WR);
  }
  int socket() const { return reader.get(); }
  tlx::win32::Descriptor reader;
  tlx::win32::Descriptor writer;
};

class ParserFuzz : public tlx::test::AuthStateTest {
 protected:
  void SetUp() override {
    AuthStateTest::SetUp();
    const TLX_SYSINFO_RECORD identity = tlx::test::TestIdentity();
    ASSERT_TRUE(TlxRavixSysInfoRegister(&identity));
    tlxAuthState().observers.push_back(&tlxRegValueSet);
    tlxAuthState().host = "127.0.0.1";
    tlxAuthState().port = 80;
  }
};

TEST_F(ParserFuzz, MutatedAnswersGiveResultsNotFaults) {
  Mutator mutator(Seeds());
  for (int round = 0; round < 3000; ++round) {
    const std::string text = mutator.Next();
    SCOPED_TRACE(::testing::PrintToString(text));

    {
      auto copy = Exact(text, true);
      tlxHttpResponse response;
      const int parsed = tlxHttpParseResponse(copy.get(), &response);
      ASSERT_TRUE(parsed == 0 || parsed == -1);
      if (parsed == 0) {
        ASSERT_GE(response.contentLength, 0);
        Ravix_Spec spec;
        ASSERT_EQ(spec.set(response.server), 0);
        ASSERT_LT(std::strlen(spec.spec), sizeof spec.spec);
        tlxDigestRecord record;
        tlxDigestParse(&record, response.wwwAuthenticate);
        ASSERT_GE(tlxHttpReasonCode(response.reason), -20);
      }
    }
    {
      auto copy = Exact(text, true);
      tlxDigestRecord record;
      ASSERT_EQ(tlxDigestParse(&record, copy.get()), 1);
      ASSERT_LT(strnlen(record.nonce, sizeof record.nonce), sizeof record.nonce);
      ASSERT_LT(strnlen(record.password, sizeof record.password), sizeof record.password);
      Ravix_Spec spec;
      ASSERT_EQ(spec.set(copy.get()), 0);
      ASSERT_LT(strnlen(spec.model, sizeof spec.model), sizeof spec.model);
      ASSERT_LT(strnlen(spec.id, sizeof spec.id), sizeof spec.id);
      const int base = registration_parse_base_data(copy.get());
      ASSERT_TRUE(base == 0 || base == 7);
    }
    {
      auto copy = Exact(text, false);
      const auto* bytes = reinterpret_cast<const unsigned char*>(copy.get());
      unsigned char key[16];
      tlxRegistrationKey(kCode, key);
      std::vector<uint8_t> plain;
      ASSERT_EQ(Auth_AES_decrypt(key, bytes, text.size(), plain), 0);
      ASSERT_EQ(plain.size(), (text.size() + 15) / 16 * 16);
      const int added = RegistrationAddBase(kCode, static_cast<int>(text.size()), bytes);
      ASSERT_TRUE(added == 0 || added == 7);
      const std::string cipher = Encrypted(text);
      auto sealed = Exact(cipher, false);
      const int sealedAdded = RegistrationAddBase(kCode, static_cast<int>(cipher.size()),
                                                  reinterpret_cast<const unsigned char*>(sealed.get()));
      ASSERT_TRUE(sealedAdded == 0 || sealedAdded == 7);
    }
    {
      // The receive primitives, into buffers of exactly their size.
      const int size = round % 2 == 0 ? kTlxHttpHeaderSize : 2 + round % 61;
      auto buffer = std::make_unique<char[]>(static_cast<size_t>(size));
      Answer header(text);
      const int got = ReceiveSocket(buffer.get(), header.socket(), size, "\r\n\r\n", 1);
      ASSERT_TRUE(got == -1 || (got > 0 && got < size));
      if (got > 0) {
        ASSERT_EQ(buffer[got], '\0');
      }

      const int capacity = round % 3 == 0 ? kTlxHttpHeaderSize : 4 + round % 40;
      auto out = std::make_unique<char[]>(static_cast<size_t>(capacity));
      Answer chunked(text);
      const int length = tlxHttpReadChunked(chunked.socket(), out.get(), capacity);
      ASSERT_LT(length, capacity);
      if (length >= 0) {
        ASSERT_EQ(out[length], '\0');
      }
    }
    {
      // Message 0 of an authentication answered by the text, at its challenge
      // or after it.
      for (const std::string& answer : {text, kChallenge + text}) {
        tlxAuthState().msgCounter = 0;
        Answer reply(answer);
        const int result = tlxRavixAuthExchange(reply.socket());
        ASSERT_LE(result, 0);
        ASSERT_GE(result, -20);
        ASSERT_LT(std::strlen(tlxAuthState().baseSpec.spec), sizeof tlxAuthState().baseSpec.spec);
      }
    }
    {
      // A registration whose reply (header and body) is the text.
      Answer reply(kChallenge + text);
      tlxRegistrationRecord record{"tlx_registration", "Den", "8372"};
      const int result = tlxRegistrationExchange(reply.socket(), record);
      ASSERT_LE(result, 0);
      ASSERT_GE(result, -13);
    }
  }
}

}  // namespace
