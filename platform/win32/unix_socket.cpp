#include "win32/internal/unix_socket.h"

#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "win32/errors.h"

namespace tlx::win32 {

DWORD AbstractAddress(std::string_view kind, std::string_view name, UnixAddress* out) {
  const std::string path = "tlx-" + std::string(kind) + "/" + std::to_string(getuid()) + "/" + std::string(name);
  // The abstract namespace starts with a zero byte; the name is not terminated.
  if (path.size() + 1 > sizeof(out->address.sun_path)) return ERROR_FILENAME_EXCED_RANGE;
  out->address = {};
  out->address.sun_family = AF_UNIX;
  std::memcpy(out->address.sun_path + 1, path.data(), path.size());
  out->length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + path.size());
  return ERROR_SUCCESS;
}

}  // namespace tlx::win32
