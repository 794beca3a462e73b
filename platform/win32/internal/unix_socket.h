// Internal: addresses in the abstract AF_UNIX namespace for the mailslot and
// the copy-data transport. Each user has a namespace of his own per kind:
// "tlx-KIND/UID/NAME".
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string_view>

#include "win32/types.h"

namespace tlx::win32 {

struct UnixAddress {
  sockaddr_un address{};
  socklen_t length = 0;
  const ::sockaddr* sockaddr() const { return reinterpret_cast<const ::sockaddr*>(&address); }
};

// ERROR_FILENAME_EXCED_RANGE when the name does not fit.
DWORD AbstractAddress(std::string_view kind, std::string_view name, UnixAddress* out);

}  // namespace tlx::win32

namespace tlx::win32 {
struct CopyDataAddress;
// The socket address of a copy-data endpoint.
DWORD CopyDataSocketAddress(const CopyDataAddress& address, UnixAddress* out);
}  // namespace tlx::win32
