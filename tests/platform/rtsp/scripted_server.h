// The far end of a client's connection for unit tests: a thread that reads
// each request (up to its empty line) and answers it with the next scripted
// text ("" answers nothing).
#pragma once

#include <sys/socket.h>

#include <string>
#include <thread>
#include <vector>

#include "win32/sockets.h"

class ScriptedServer {
 public:
  // closeWhenDone: the server's end is shut down after the last answer.
  explicit ScriptedServer(std::vector<std::string> answers, bool closeWhenDone = false)
      : fAnswers(std::move(answers)), fCloseWhenDone(closeWhenDone) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
      clientEnd.reset(fds[0]);
      fServerEnd.reset(fds[1]);
    }
    fThread = std::thread([this] { serve(); });
  }
  ~ScriptedServer() {
    tlx::win32::WakeBlocked(fServerEnd.get());
    if (fThread.joinable()) fThread.join();
  }
  // The requests received; read after the client is done.
  std::vector<std::string> requests() {
    tlx::win32::WakeBlocked(fServerEnd.get());
    if (fThread.joinable()) fThread.join();
    return fRequests;
  }

  tlx::win32::Descriptor clientEnd;

 private:
  void serve() {
    std::string buffer;
    for (const std::string& answer : fAnswers) {
      size_t end;
      while ((end = buffer.find("\r\n\r\n")) == std::string::npos) {
        char chunk[4096];
        const long got = tlx::win32::ReadSome(fServerEnd.get(), chunk, sizeof chunk, tlx::win32::Deadline::max());
        if (got <= 0) return;
        buffer.append(chunk, static_cast<size_t>(got));
      }
      fRequests.push_back(buffer.substr(0, end + 4));
      buffer.erase(0, end + 4);
      if (!answer.empty()) {
        tlx::win32::WriteAll(fServerEnd.get(), answer.data(), answer.size(), tlx::win32::Deadline::max());
      }
    }
    // Shut down rather than closed: the descriptor stays with this object
    // until the thread has ended.
    if (fCloseWhenDone) tlx::win32::WakeBlocked(fServerEnd.get());
  }

  std::vector<std::string> fAnswers;
  bool fCloseWhenDone;
  std::vector<std::string> fRequests;
  tlx::win32::Descriptor fServerEnd;
  std::thread fThread;
};
