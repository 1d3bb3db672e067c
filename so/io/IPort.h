// The port interface the engine moves bytes through; operations keep a fixed slot order.
#pragma once

#include <cstdint>
#include <functional>

#include "so/io/PortSettings.h"

namespace QVO::IO {

// Called with the bytes an asynchronous read delivered and their count.
using PortReadCallback = std::function<void(const uint8_t* data, uint32_t count)>;

// One printer connection. Operations report failure by returning 0, never by throwing;
// the port keeps its own last-error code and text. Not thread-safe: the engine serialises
// every access through its port holder's lock.
class IPort {
public:
    virtual IPortSettings* GetSettings() = 0;
    virtual int32_t TestOpen() = 0;
    virtual int32_t IsUsbLptDevice() = 0;
    virtual int32_t IsOpen() = 0;
    virtual int32_t Open() = 0;
    virtual int32_t Close() = 0;
    // Writes `length` bytes from data + offset; 1 only when all of them went out.
    virtual int32_t Write(const uint8_t* data, int32_t offset, int32_t length) = 0;
    virtual int32_t ReadWithCallback(uint8_t* buffer, int32_t length, PortReadCallback callback) = 0;
    virtual void AbortRead() = 0;
    // Reads into buffer + offset; `bytesRead` is the total. With `waitAll` it keeps going
    // (at most five passes) until `length` bytes arrived.
    virtual int32_t Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) = 0;
    // One attempt: what is waiting (or arrives within a short wait) and nothing more.
    virtual int32_t ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t unused) = 0;
    virtual int32_t GetReadNotify() = 0;
    virtual void SetReadNotify(int32_t notify) = 0;
    virtual int32_t BeginAsyncRead(uint8_t* buffer, int32_t offset, int32_t length) = 0;
    virtual void OnAsyncReadComplete(uint32_t bytes) = 0;
    virtual void Reserved() = 0;
    virtual void SetReadCallback(PortReadCallback callback) = 0;
    // The errno of the operation that failed last (0 after an operation that did not fail).
    virtual int32_t GetSystemError() = 0;
    // What the last failed Open or Write left (a code and a text saying what failed, with the
    // system's reason and number); an Open or Write that succeeds clears both. The text is
    // owned by the port and valid until its next operation.
    virtual const wchar_t* GetLastErrorText() = 0;
    virtual int32_t GetLastErrorCode() = 0;
    virtual int32_t GetCancel(int32_t& cancel) = 0;
    virtual int32_t SetCancel(int32_t cancel) = 0;
    virtual int32_t RefreshDeviceName() = 0;
    virtual void SetupPort() = 0;
    virtual int32_t LoadCommState() = 0;
    virtual int32_t ApplyCommState() = 0;
    virtual ~IPort() = default;
};

}  // namespace QVO::IO
