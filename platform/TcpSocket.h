// TCP connections that never block, for the link to a sync tracker: the system's sockets behind
// TcpConnection (engine/base/TcpConnection.h): POSIX sockets in TcpSocket.cpp, Winsock in
// TcpSocketWin.cpp.
#pragma once

#include "engine/base/TcpConnection.h"

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Resolves HOST once (this may wait for a name server: call it at start-up, not in a frame) and
// returns a connector whose connections go to its first address; null with a message when the
// host has no address.
std::unique_ptr<TcpConnector> makeTcpConnector(const std::string& host, uint16_t port, std::string& error);

} // namespace platform
