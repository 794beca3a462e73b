// The library is one instance per process: binding it by name at run time
// reaches the copy the program linked, whose state every caller shares.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <linux/limits.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <thread>

#include "identity_fixture.h"
#include "tlx_authentication.h"
#include "win32/sockets.h"

namespace {

std::string ProgramFolder() {
  char path[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string exe(path, length > 0 ? static_cast<size_t>(length) : 0);
  return exe.substr(0, exe.rfind('/'));
}

// Answers each request header read from fd with the next of the answers.
void Answer(int fd, std::vector<std::string> answers) {
  for (const std::string& answer : answers) {
    std::string request;
    char c;
    while (request.find("\r\n\r\n") == std::string::npos && recv(fd, &c, 1, 0) == 1) request += c;
    send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
  }
}

TEST(SharedInstance, BindingByNameReachesTheLinkedCopy) {
  void* bySoname = dlopen("libTlxAuthentication.so", RTLD_NOW);
  ASSERT_NE(bySoname, nullptr) << dlerror();
  void* byPath = dlopen((ProgramFolder() + "/libTlxAuthentication.so").c_str(), RTLD_NOW);
  ASSERT_NE(byPath, nullptr) << dlerror();
  EXPECT_EQ(bySoname, byPath);
  EXPECT_EQ(dlsym(bySoname, "TlxRavixGetAKS"), reinterpret_cast<void*>(&TlxRavixGetAKS));

  char key[33];
  EXPECT_EQ(TlxRavixGetAKS(key), -1);
  auto registerIdentity = reinterpret_cast<bool (*)(const TLX_SYSINFO_RECORD*)>(dlsym(byPath, "TlxRavixSysInfoRegister"));
  ASSERT_NE(registerIdentity, nullptr);
  const TLX_SYSINFO_RECORD identity = tlx::test::TestIdentity();
  ASSERT_TRUE(registerIdentity(&identity));
  ASSERT_EQ(TlxRavixGetAKS(key), 0);
  EXPECT_STREQ(key, "32b2ce0910c9ba9b4d284a4d3ebbd5ed");

  // An authentication through the linked copy saves the nonce "abc"; the key
  // read through the bound copy is made from it.
  int fds[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds), 0);
  const tlx::win32::Descriptor player(fds[0]);
  const tlx::win32::Descriptor base(fds[1]);
  std::thread station(Answer, base.get(),
                      std::vector<std::string>{
                          "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Digest realm=\"Ravix\", nonce=\"abc\", "
                          "algorithm=MD5, domain=\"/ravix/\", qop=\"auth\"\r\n\r\n",
                          "HTTP/1.1 200 OK\r\nServer: x; TLXStreamingServer, support=1/2, id=b1\r\n\r\n"});
  EXPECT_EQ(TlxRavixAuthentication(player.get(), "127.0.0.1", 8080, 0), S_OK);
  station.join();
  auto getKey = reinterpret_cast<HRESULT (*)(char*)>(dlsym(byPath, "TlxRavixGetAKS"));
  auto getBaseId = reinterpret_cast<const char* (*)()>(dlsym(bySoname, "TlxRavixGetBaseId"));
  ASSERT_NE(getKey, nullptr);
  ASSERT_NE(getBaseId, nullptr);
  ASSERT_EQ(getKey(key), 0);
  EXPECT_STREQ(key, "0f867be06e4738dcdeaadfa0d24f34e5");
  EXPECT_STREQ(getBaseId(), "b1");

  dlclose(byPath);
  dlclose(bySoname);
}

}  // namespace
