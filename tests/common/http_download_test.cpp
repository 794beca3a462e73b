#include <gtest/gtest.h>

#include <string>

#include "common/tlx_pc_cmn_http.h"
#include "http_test_support.h"

namespace {

using tlx::test::HttpTestServer;
using tlx::test::ReadFileBytes;
using tlx::test::TempFolder;
using tlx::test::WriteFileBytes;

using namespace std::string_literals;

constexpr char kOldContent[] = "the file as it was";

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

// 100 KiB holding every byte value, NUL, CR and LF among them, in an order
// that no text conversion leaves alone.
std::string BinaryBody() {
  std::string body(100 * 1024, '\0');
  uint32_t state = 12345;
  for (size_t i = 0; i < body.size(); ++i) {
    state = state * 1103515245u + 12345u;
    body[i] = static_cast<char>(i < 256 ? i : state >> 24);
  }
  return body;
}

TEST(HttpDownload, ABinaryBodyArrivesByteForByte) {
  TempFolder served, local;
  const std::string body = BinaryBody();
  WriteFileBytes(served.path() / "table.bin", body);
  HttpTestServer server({"files", served.path().string()});
  ASSERT_NE(0, server.port());
  const std::filesystem::path target = local.path() / "table.bin";
  WriteFileBytes(target, std::string(200 * 1024, 'x'));
  EXPECT_EQ(1, TlxPcCmnGetFileByHttp(server.Url("/table.bin").c_str(),
                                     tlx::win32::Utf8ToUtf16(target.string()).c_str()));
  EXPECT_TRUE(ReadFileBytes(target) == body) << "the longer old file is truncated, the body written verbatim";
}

TEST(HttpDownload, ANotFoundLeavesTheFileAlone) {
  TempFolder served, local;
  HttpTestServer server({"files", served.path().string()});
  ASSERT_NE(0, server.port());
  const std::filesystem::path target = local.path() / "kept.txt";
  WriteFileBytes(target, kOldContent);
  EXPECT_EQ(0, TlxPcCmnGetFileByHttp(server.Url("/missing.bin").c_str(),
                                     tlx::win32::Utf8ToUtf16(target.string()).c_str()));
  EXPECT_EQ(kOldContent, ReadFileBytes(target));
}

// Answers written raw: what is malformed, cut short or not 200 gives 0 and
// leaves the file as it was; a good one without Content-Length is read to
// the end of the connection.
TEST(HttpDownload, RawAnswers) {
  struct Case {
    const char* what;
    std::string answer;
    int result;
    std::string file;  // the local file afterwards
  };
  const Case cases[] = {
      {"promises more than it sends", "HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\nonly this", 0, kOldContent},
      {"read to the close", "HTTP/1.0 200 OK\r\n\r\nto\0the\r\nend"s, 1, "to\0the\r\nend"s},
      {"cut to its length", "HTTP/1.1 200 OK\r\nContent-length:  4 \r\n\r\nfour and more", 1, "four"},
      {"empty body", "HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", 1, ""},
      {"server error", "HTTP/1.0 500 Internal Server Error\r\nContent-Length: 2\r\n\r\nno", 0, kOldContent},
      {"redirect", "HTTP/1.0 301 Moved\r\nLocation: /elsewhere\r\n\r\n", 0, kOldContent},
      {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", 0, kOldContent},
      {"status not a number", "HTTP/1.0 2x0 OK\r\n\r\nbody", 0, kOldContent},
      {"header never ends", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\n", 0, kOldContent},
      {"nothing at all", "", 0, kOldContent},
      {"length not a number", "HTTP/1.0 200 OK\r\nContent-Length: -4\r\n\r\nbody", 0, kOldContent},
      {"two lengths", "HTTP/1.0 200 OK\r\nContent-Length: 4\r\nContent-Length: 5\r\n\r\nbody!", 0, kOldContent},
      {"header line without colon", "HTTP/1.0 200 OK\r\nGarbage\r\n\r\nbody", 0, kOldContent},
      {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nbody\r\n0\r\n\r\n", 0, kOldContent},
      {"too large", "HTTP/1.0 200 OK\r\nContent-Length: 67108865\r\n\r\nbody", 0, kOldContent},
  };
  for (const Case& c : cases) {
    TempFolder local;
    HttpTestServer server({"raw", Hex(c.answer)});
    ASSERT_NE(0, server.port()) << c.what;
    const std::filesystem::path target = local.path() / "file.bin";
    WriteFileBytes(target, kOldContent);
    EXPECT_EQ(c.result, TlxPcCmnGetFileByHttp(server.Url("/file.bin").c_str(),
                                              tlx::win32::Utf8ToUtf16(target.string()).c_str()))
        << c.what;
    EXPECT_EQ(c.file, ReadFileBytes(target)) << c.what;
  }
}

TEST(HttpDownload, OnlyPlainHttpAddresses) {
  TempFolder local;
  const std::filesystem::path target = local.path() / "file.bin";
  WriteFileBytes(target, kOldContent);
  const std::u16string path = tlx::win32::Utf8ToUtf16(target.string());
  for (const char16_t* url : {u"https://127.0.0.1/file.bin", u"ftp://127.0.0.1/file.bin", u"127.0.0.1/file.bin",
                              u"http://", u"http:///file.bin", u"http://127.0.0.1:0/", u"http://127.0.0.1:99999/",
                              u"http://127.0.0.1:8x/", u"http://127.0.0.1/a b", u""}) {
    EXPECT_EQ(0, TlxPcCmnGetFileByHttp(url, path.c_str())) << std::string(url, url + std::u16string(url).size());
  }
  EXPECT_EQ(0, TlxPcCmnGetFileByHttp(nullptr, path.c_str()));
  EXPECT_EQ(0, TlxPcCmnGetFileByHttp(u"http://127.0.0.1/file.bin", nullptr));
  EXPECT_EQ(kOldContent, ReadFileBytes(target));
}

TEST(HttpDownload, ARefusedConnectionGivesZero) {
  TempFolder local;
  int port = 0;
  {
    HttpTestServer closed({"raw", ""});
    port = closed.port();
  }
  ASSERT_NE(0, port);
  const std::filesystem::path target = local.path() / "file.bin";
  WriteFileBytes(target, kOldContent);
  const std::u16string url = tlx::win32::Utf8ToUtf16("http://127.0.0.1:" + std::to_string(port) + "/file.bin");
  EXPECT_EQ(0, TlxPcCmnGetFileByHttp(url.c_str(), tlx::win32::Utf8ToUtf16(target.string()).c_str()));
  EXPECT_EQ(kOldContent, ReadFileBytes(target));
}

}  // namespace
