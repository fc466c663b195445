#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

#include "os/Clock.h"
#include "os/Socket.h"

namespace tolvane {

using Deadline = std::chrono::steady_clock::time_point;

enum class IoStatus { Done, Closed, TimedOut, Failed };

// Every wait below takes an optional `serve` clock: given one, the wait is cut into slices of
// at most kServeSlice with a short pause on that clock between them, so a thread that must
// keep answering (a window's) still does while it waits. The deadlines stay as they are.
constexpr std::chrono::milliseconds kServeSlice{200};

// The slicing for the implementations: `wait` waits until the end it is given (1 ready,
// 0 timed out, -1 error) and is called again until it is done or the deadline has passed.
int WaitServing(Deadline deadline, Clock* serve, const std::function<int(Deadline)>& wait);

// Connects within the deadline; the socket is blocking again afterwards, as a plain connect
// leaves it. False on refusal, error or time-out.
bool ConnectBefore(Socket& socket, IPv4Address address, std::uint16_t port, Deadline deadline,
                   Clock* serve = nullptr);

// Sends every byte, continuing partial sends, until the deadline. A peer that has gone away
// gives Failed, never SIGPIPE.
IoStatus SendAllBefore(Socket& socket, std::string_view bytes, Deadline deadline,
                       Clock* serve = nullptr);

// Receives what has arrived, at least one byte and at most `capacity`, into `buffer`, and
// sets `received`; Closed when the peer has ended the connection.
IoStatus ReceiveSomeBefore(Socket& socket, char* buffer, std::size_t capacity,
                           std::size_t& received, Deadline deadline, Clock* serve = nullptr);

// Receives exactly one byte; Closed when the peer has ended the connection.
IoStatus ReceiveByteBefore(Socket& socket, char& byte, Deadline deadline, Clock* serve = nullptr);

}  // namespace tolvane
