#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "os/Socket.h"

namespace tolvane {

using Deadline = std::chrono::steady_clock::time_point;

enum class IoStatus { Done, Closed, TimedOut, Failed };

// Connects within the deadline; the socket is blocking again afterwards, as a plain connect
// leaves it. False on refusal, error or time-out.
bool ConnectBefore(Socket& socket, IPv4Address address, std::uint16_t port, Deadline deadline);

// Sends every byte, continuing partial sends, until the deadline. A peer that has gone away
// gives Failed, never SIGPIPE.
IoStatus SendAllBefore(Socket& socket, std::string_view bytes, Deadline deadline);

// Receives what has arrived, at least one byte and at most `capacity`, into `buffer`, and
// sets `received`; Closed when the peer has ended the connection.
IoStatus ReceiveSomeBefore(Socket& socket, char* buffer, std::size_t capacity,
                           std::size_t& received, Deadline deadline);

// Receives exactly one byte; Closed when the peer has ended the connection.
IoStatus ReceiveByteBefore(Socket& socket, char& byte, Deadline deadline);

}  // namespace tolvane
