// The platform's TCP sockets (BSD sockets, Winsock) for the network ports:
// a bounded connect and non-blocking transfers.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "serial/failures/command_result.h"

namespace tavik::net {

using Clock = std::chrono::steady_clock;
using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// Resolves host and connects to port by the deadline, trying each address
// in turn. The socket is non-blocking, with TCP_NODELAY and keep-alive
// probes (a dead peer is noticed within about ten seconds of silence).
// kNoSocket on failure, and then why: host not found, connection refused,
// or cannot be opened (unreachable, no answer by the deadline).
Socket connect_to(const std::string& host, const std::string& port, Clock::time_point deadline, Failure& why);

enum class Wait { kReady, kTimeout, kFailed };
// Waits until the socket can be read (data, end of stream or an error to
// collect) or, with for_write, written; looks once even when until has passed.
Wait wait_for(Socket socket, bool for_write, Clock::time_point until);

// Bytes moved (more than 0), kWouldBlock, or kBroken: the peer closed the
// stream (receive) or the connection failed.
inline constexpr int kWouldBlock = -1;
inline constexpr int kBroken = -2;
int send_some(Socket socket, const std::uint8_t* data, int count);
int receive_some(Socket socket, std::uint8_t* buffer, int count);

void close_socket(Socket socket);

}  // namespace tavik::net
