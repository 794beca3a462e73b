// RTSP URLs and the sockets the client runs on.
#pragma once

#include <netinet/in.h>

#include <string>

#include "rtsp/usage_environment.h"
#include "win32/sockets.h"

// Splits "rtsp://host[:port][/suffix]" (scheme in any case, port 1-65535,
// default 554) and resolves the host to an IPv4 address. *address gets the
// address and port, *urlSuffix the suffix with its leading "/" (empty when
// there is none). False, with the reason as the result message, for anything
// else.
bool parseRTSPURL(UsageEnvironment& env, const char* url, sockaddr_in* address,
                  unsigned short* portNum, std::string* urlSuffix);

// A new IPv4 TCP socket, close-on-exec; empty (with the result message set)
// on failure.
tlx::win32::Descriptor setupStreamSocket(UsageEnvironment& env);

// Asks for a receive buffer of requestedSize bytes; returns the size the kernel
// reports (0 on failure, with the result message set).
unsigned increaseReceiveBufferTo(UsageEnvironment& env, int socket, unsigned requestedSize);
