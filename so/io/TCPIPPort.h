// TCPIPPort: a network printer over a raw TCP connection (port 9100 by default).
#pragma once

#include <netinet/in.h>

#include "so/io/SystemPort.h"

namespace QVO::IO {

// Owns its settings copy, the socket (the base descriptor), a lock file that keeps
// other ports of any process off the same address and port while open, and the event
// AbortRead signals. A write that finds the connection gone reconnects and goes on.
// Not thread-safe (see IPort), except AbortRead, which may end a ReadWithCallback
// running on another thread.
class TCPIPPort : public CSystemPort {
public:
    explicit TCPIPPort(const TCPIPPortSettings& settings, const PortEnvironment& env = PortEnvironment::FromProcess());
    ~TCPIPPort() override;

    int32_t Open() override;
    int32_t Close() override;
    int32_t Write(const uint8_t* data, int32_t offset, int32_t length) override;
    int32_t ReadWithCallback(uint8_t* buffer, int32_t length, PortReadCallback callback) override;
    void AbortRead() override;
    int32_t Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) override;
    int32_t ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t unused) override;
    int32_t RefreshDeviceName() override { return 0; }

    bool IsConnected() const { return connected_ != 0; }
    // True when the printer has closed or reset the connection: data written now would
    // be lost without an error, so Write reconnects first.
    bool PeerHasClosed() const;

private:
    void CreateSocket();
    void CloseSocket();
    // Two attempts; on failure sets error 2501 with the connect text and closes the socket.
    bool ConnectSocket();
    // One bounded attempt; 0 or the errno that stopped it.
    int ConnectOnce();
    bool TakeEndpointLock();

    TCPIPPortSettings ownSettings_;
    sockaddr_in remote_{};
    bool remoteValid_ = false;
    int createError_ = 0;
    int32_t connected_ = 0;
    UniqueFd endpointLock_;
    UniqueFd abortEvent_;
};

}  // namespace QVO::IO
