// Digest authentication of stream connections and of single requests.
#pragma once

namespace tlx::auth {

// Authenticates the connected socket against the stored target with the next
// message of the 0..3 cycle. TLX_AUTH_OK when authorised, else a negative TlxAuthResult;
// every failure starts the cycle again at message 0.
int tlxRavixAuthExchange(int socket);

// Opens a connection, learns the challenge, then sends method and uri with an
// Authorization header on a second connection, which it returns (-1 on any
// failure, with every socket it opened closed).
int tlxRequestAuthentication(const char* host, int port, const char* method, const char* uri);

}  // namespace tlx::auth
