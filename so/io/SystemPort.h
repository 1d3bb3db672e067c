// CSystemPort: the port behaviour shared by every connection type, over a POSIX descriptor.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <termios.h>

#include <cstdint>
#include <string>

#include "so/io/IPort.h"
#include "so/io/PortEnvironment.h"
#include "platform/posix/UniqueFd.h"

namespace QVO::IO {

// Time-outs of a line read or written without the overlapped wait: a read waits up to
// constant + multiplier x count for data and, once bytes flow, up to the interval
// between them; a write may go constant + multiplier x count without the device taking
// a byte (however long the whole write then takes). ReadOnce takes what is waiting: it
// waits for no first byte, only for the gaps of a reply that has begun.
struct LineTimeouts {
    int readIntervalMs = 0;
    int readTotalMultiplierMs = 0;
    int readTotalConstantMs = 0;
    // Byte-wise lines: the first byte of a reply comes within this or not at all, so a
    // silent line costs this, not the read total (0: the read total).
    int answerWithinMs = 0;
    int writeTotalMultiplierMs = 0;
    int writeTotalConstantMs = 0;
};

// Waits and bounds a port works with. The defaults are the product's; tests shrink them
// so that silent peers cost milliseconds. Plain copyable value.
struct PortTimings {
    int passWaitAllMs = 2000;       // overlapped read pass when all bytes are wanted
    int passWaitMs = 200;           // overlapped read pass otherwise, and ReadOnce
    int failedPassPauseMs = 5;      // pause after a failed pass while waiting for all bytes
    int backoffStepMs = 2;          // pass k pauses k x this after a short read
    int writeTimeoutMs = -1;        // < 0: the settings' write time-out (longest wait without progress)
    int readTimeoutMs = -1;         // < 0: the settings' read time-out (network reads)
    int connectTimeoutMs = 3000;    // one network connect attempt
    int maxReconnectsPerWrite = 3;  // reconnect-and-retry cycles within one network write
    LineTimeouts line;              // for non-overlapped devices; each port class sets its own
};

// Opens, reads and writes one device file. Every open takes exclusive use of the device
// (flock), so a second open by this or another process fails until Close. The port is open
// exactly while it holds a valid descriptor: derived ports hand theirs over with
// AdoptDescriptor and give it up with CloseDescriptor, and IsOpen asks the descriptor.
// Ports are move-less, copy-less owners of their descriptor. Not thread-safe (see IPort).
class CSystemPort : public IPort {
public:
    ~CSystemPort() override;
    CSystemPort(const CSystemPort&) = delete;
    CSystemPort& operator=(const CSystemPort&) = delete;

    IPortSettings* GetSettings() override { return settings_; }
    int32_t TestOpen() override;
    int32_t IsUsbLptDevice() override { return 0; }
    int32_t IsOpen() override { return fd_.isValid() ? 1 : 0; }
    int32_t Open() override;
    int32_t Close() override;
    int32_t Write(const uint8_t* data, int32_t offset, int32_t length) override;
    int32_t ReadWithCallback(uint8_t* buffer, int32_t length, PortReadCallback callback) override;
    void AbortRead() override {}
    int32_t Read(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) override;
    int32_t ReadOnce(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t unused) override;
    int32_t GetReadNotify() override { return readNotify_; }
    void SetReadNotify(int32_t notify) override { readNotify_ = notify; }
    int32_t BeginAsyncRead(uint8_t* buffer, int32_t offset, int32_t length) override;
    void OnAsyncReadComplete(uint32_t bytes) override;
    void Reserved() override {}
    void SetReadCallback(PortReadCallback callback) override { readCallback_ = std::move(callback); }
    int32_t GetSystemError() override { return systemError_; }
    // Empty, and code 0, after an Open or Write that succeeded.
    const wchar_t* GetLastErrorText() override { return lastErrorText_.c_str(); }
    int32_t GetLastErrorCode() override { return lastErrorCode_; }
    int32_t GetCancel(int32_t& cancel) override;
    int32_t SetCancel(int32_t cancel) override;
    void SetupPort() override {}
    int32_t LoadCommState() override;
    int32_t ApplyCommState() override;

    // Not part of IPort: the waits this port uses, and the device file it opens.
    void SetTimings(const PortTimings& timings) { timings_ = timings; }
    const PortTimings& GetTimings() const { return timings_; }
    const std::string& GetDevicePath() const { return devicePath_; }
    int32_t IsReadable() const { return readable_ ? 1 : 0; }
    // The line settings as last read from the driver (serial lines).
    const termios& GetLineState() const { return lineState_; }

protected:
    // `settings` is the concrete class's own copy; it must outlive this base.
    CSystemPort(IPortSettings* settings, const PortEnvironment& env);

    // Opens `path` non-blocking with `access` (O_RDWR, O_RDONLY) and takes exclusive use
    // of it. On failure records the errno (EBUSY when another open holds it), returns none.
    Platform::UniqueFd OpenExclusive(const std::string& path, int extraFlags = 0, int access = O_RDWR);

    // The descriptor makes the port open (an invalid one leaves it closed); one held
    // before is closed. CloseDescriptor closes the port's descriptor.
    void AdoptDescriptor(Platform::UniqueFd fd) { fd_ = std::move(fd); }
    void CloseDescriptor() { fd_.reset(); }
    // The port's descriptor, -1 while closed. Owned by the port.
    int Descriptor() const { return fd_.get(); }
    // The descriptors reads and writes go to; the file port reads another one.
    virtual int ReadFd() const { return fd_.get(); }
    virtual int WriteFd() const { return fd_.get(); }

    void SetDevicePath(std::string path) { devicePath_ = std::move(path); }
    const PortEnvironment& Environment() const { return env_; }
    // Waits are the pass waits (USB), not the line time-outs.
    void SetOverlapped(bool overlapped) { overlapped_ = overlapped; }
    // Reads fetch one byte per call (parallel).
    void SetByteWise(bool byteWise) { byteWise_ = byteWise; }
    // false: reads fail at once (a parallel printer that never answers).
    void SetReadable(bool readable) { readable_ = readable; }
    void SetLineState(const termios& state) { lineState_ = state; }
    bool Cancelled() const { return cancel_ != 0; }

    // Every read of the port waits here (ReadWithin, TimedTransfer.h); a test port
    // overrides it to see how long each read was allowed to wait.
    virtual ssize_t TimedRead(int fd, uint8_t* buffer, size_t count, int totalMs, int intervalMs);

    int EffectiveWriteTimeout() const;
    int EffectiveReadTimeout() const;
    void ClearSystemError() { systemError_ = 0; }
    void RecordSystemError(int error) { systemError_ = error; }
    void SetPortError(int32_t code, const std::wstring& text);
    void ClearPortError() { SetPortError(0, std::wstring()); }
    // Records a failed write: port error kPortWriteError with `text`, and `systemError`.
    int32_t FailWrite(const std::wstring& text, int systemError);
    // Rejects a null buffer, a negative offset or a non-positive length.
    bool CheckTransferArgs(const void* buffer, int32_t offset, int32_t length);

private:
    // One read pass of `count` bytes; true when the pass counts as successful.
    bool ReadPass(uint8_t* dest, size_t count, int passWaitMs, int pass, size_t& got);
    // A read on a line (not overlapped): the first byte may take `firstByteMs`, each gap
    // after it the read interval, all within the read total; one byte per call on a
    // byte-wise line. -1 (errno recorded) when the first read failed.
    ssize_t ReadLine(uint8_t* dest, size_t count, int firstByteMs);
    // How long a read that expects a reply waits for its first byte.
    int ReplyWaitMs(size_t count) const;
    int LineReadTotal(size_t count) const;
    // How long a write may go without the device taking a byte.
    int WriteStallLimit(int32_t length) const;

    IPortSettings* settings_;
    PortEnvironment env_;
    std::string devicePath_;
    Platform::UniqueFd fd_;  // valid exactly while the port is open
    bool overlapped_ = false;
    bool readable_ = false;
    bool byteWise_ = false;
    termios lineState_{};
    int32_t cancel_ = 0;
    int32_t readNotify_ = 0;
    uint8_t* asyncBuffer_ = nullptr;
    PortReadCallback readCallback_;
    std::wstring lastErrorText_;
    int32_t lastErrorCode_ = 0;
    int systemError_ = 0;
    PortTimings timings_;
};

}  // namespace QVO::IO
