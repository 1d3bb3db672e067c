// TCPIPPort: a network printer over a raw TCP connection (port 9100 by default).
#pragma once

#include <netinet/in.h>

#include <string>

#include "platform/posix/UniqueFd.h"
#include "so/io/ExclusiveLock.h"
#include "so/io/SystemPort.h"

namespace QVO::IO {

// Owns its settings copy, the socket (the base descriptor: the port is open while it holds
// one, connected or not), a lock file that keeps other ports of any user and process off
// the same address and port while open, and the event AbortRead signals. A write that finds
// the connection gone reconnects and goes on; a reconnect that fails leaves the port open
// and unconnected, and the next write tries again. Not thread-safe (see IPort), except
// AbortRead, which may end a ReadWithCallback running on another thread.
class TCPIPPort : public CSystemPort {
public:
    explicit TCPIPPort(const TCPIPPortSettings& settings, const PortEnvironment& env = PortEnvironment::FromProcess());
    ~TCPIPPort() override;

    // Resolves the address (a dotted quad, or a host name looked up for IPv4), takes the
    // printer's lock file and connects. Fails with kPortConnectError (address, connect) or
    // kPortLockError (in use, or no lock could be taken) and a text saying which.
    int32_t Open() override;
    int32_t Close() override;
    // Fails when the printer takes no byte for three write time-outs in a row (a slow
    // printer that keeps taking bytes is waited for), or when the connection is lost and
    // cannot be made again.
    int32_t Write(const uint8_t* data, int32_t offset, int32_t length) override;
    // Ends when data came or AbortRead was called during the wait; an abort made while no
    // read was waiting does not end the next one.
    int32_t ReadWithCallback(uint8_t* buffer, int32_t length, PortReadCallback callback) override;
    void AbortRead() override;
    int32_t Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) override;
    int32_t ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t unused) override;
    int32_t RefreshDeviceName() override { return 0; }

    bool IsConnected() const { return connected_; }
    // True when the printer has closed or reset the connection: data written now would
    // be lost without an error, so Write reconnects first.
    bool PeerHasClosed() const;
    // The lock file held while open (empty while closed).
    const std::string& GetLockPath() const { return endpointLock_.Path(); }

private:
    // Fills remote_ from the settings; false with the port error set when it cannot.
    bool ResolveRemote();
    bool TakeEndpointLock();
    // A new non-blocking socket with the port's options; invalid with `error` set on failure.
    Platform::UniqueFd NewSocket(int& error) const;
    // One bounded attempt; 0 or the errno that stopped it.
    int ConnectOnce(int fd) const;
    // Two attempts, each on a new socket, which replaces the port's descriptor once
    // connected. On failure sets error 2501 and leaves the descriptor as it was.
    bool ConnectSocket();
    // Ends the connection in hand (the socket stays the port's until replaced or closed)
    // and connects again.
    bool Reconnect();
    // "127.0.0.1:9100" as resolved, for the texts.
    std::wstring EndpointText() const;

    TCPIPPortSettings ownSettings_;
    sockaddr_in remote_{};
    bool connected_ = false;
    LockFile endpointLock_;
    Platform::UniqueFd abortEvent_;  // set at construction, never replaced: AbortRead may use it any time
};

}  // namespace QVO::IO
