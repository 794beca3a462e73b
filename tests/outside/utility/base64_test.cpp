#include <gtest/gtest.h>

#include <string>

#include "utility/tlx_utility.h"

namespace {

std::string Encode(const std::string& in) {
  char out[64];
  int n = encode64(in.data(), in.size(), out, sizeof out);
  EXPECT_GE(n, 0);
  return std::string(out, n > 0 ? n : 0);
}

TEST(Encode64, GivesTheTestVectorsOfTheBase64Standard) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
  };
  for (const auto& [in, expected] : vectors) EXPECT_EQ(Encode(in), expected) << in;
}

TEST(Encode64, WritesFourCharactersPerThreeBytesAndNeedsRoomForTheNul) {
  const char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (size_t n = 0; n <= 7; ++n) {
    const size_t length = (n + 2) / 3 * 4;
    std::string out(length + 1, '\x7f');
    EXPECT_EQ(encode64(data, n, out.data(), out.size()), static_cast<int>(length)) << n;
    EXPECT_EQ(out[length], '\0');
    EXPECT_EQ(encode64(data, n, out.data(), length), -1) << "one byte short, n=" << n;
  }
}

}  // namespace
