#include "rtsp/rtsp_url_socket.h"

#include <netdb.h>
#include <strings.h>
#include <sys/socket.h>

#include <charconv>
#include <climits>
#include <string_view>

bool parseRTSPURL(UsageEnvironment& env, const char* url, sockaddr_in* address,
                  unsigned short* portNum, std::string* urlSuffix) {
  static constexpr std::string_view kScheme = "rtsp://";
  std::string_view text = url == nullptr ? std::string_view() : std::string_view(url);
  if (text.size() < kScheme.size() || strncasecmp(text.data(), kScheme.data(), kScheme.size()) != 0) {
    env.setResultMsg("URL is not of the form \"rtsp://host[:port][/suffix]\"");
    return false;
  }
  text.remove_prefix(kScheme.size());
  const size_t slash = text.find('/');
  std::string_view hostPort = text.substr(0, slash);
  const std::string_view suffix = slash == std::string_view::npos ? "" : text.substr(slash);
  unsigned port = 554;
  const size_t colon = hostPort.find(':');
  if (colon != std::string_view::npos) {
    const std::string_view digits = hostPort.substr(colon + 1);
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), port);
    if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() || port < 1 ||
        port > 65535) {
      env.setResultMsg("bad port number in URL");
      return false;
    }
    hostPort = hostPort.substr(0, colon);
  }
  if (hostPort.empty()) {
    env.setResultMsg("no host in URL");
    return false;
  }
  const std::string host(hostPort);
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (error != 0 || found == nullptr) {
    env.setResultMsg("cannot resolve host \"", host, "\"");
    if (found != nullptr) freeaddrinfo(found);
    return false;
  }
  *address = *reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  address->sin_port = htons(static_cast<uint16_t>(port));
  *portNum = static_cast<unsigned short>(port);
  urlSuffix->assign(suffix);
  return true;
}

tlx::win32::Descriptor setupStreamSocket(UsageEnvironment& env) {
  tlx::win32::Descriptor socket = tlx::win32::OpenSocket(AF_INET, SOCK_STREAM);
  if (!socket) env.setResultErrMsg("unable to create stream socket: ");
  return socket;
}

unsigned increaseReceiveBufferTo(UsageEnvironment& env, int socket, unsigned requestedSize) {
  const int granted = tlx::win32::SetReceiveBuffer(
      socket, requestedSize > INT_MAX ? INT_MAX : static_cast<int>(requestedSize));
  if (granted < 0) {
    env.setResultErrMsg("unable to set the receive buffer size: ");
    return 0;
  }
  return static_cast<unsigned>(granted);
}
