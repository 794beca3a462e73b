#include <gtest/gtest.h>

#include <chrono>

#include "common/tlx_pc_cmn_http.h"
#include "http_test_support.h"

namespace {

using tlx::test::HttpTestServer;
using tlx::test::ReadFileBytes;
using tlx::test::TempFolder;
using tlx::test::WriteFileBytes;

// A server that takes the request and never answers: the read gives up after
// its limit and the file stays as it was.
TEST(HttpDownload, ASilentServerTimesOut) {
  TempFolder local;
  HttpTestServer server({"silent"});
  ASSERT_NE(0, server.port());
  const std::filesystem::path target = local.path() / "file.bin";
  WriteFileBytes(target, "kept");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(0, TlxPcCmnGetFileByHttp(server.Url("/file.bin").c_str(),
                                     tlx::win32::Utf8ToUtf16(target.string()).c_str()));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(kTlxPcCmnHttpTimeoutMs - 1000));
  EXPECT_LE(waited, std::chrono::milliseconds(kTlxPcCmnHttpTimeoutMs + 15000));
  EXPECT_EQ("kept", ReadFileBytes(target));
}

}  // namespace
