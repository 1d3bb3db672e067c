// The engine's holder of its open port and of the one lock every port access goes through.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/sync/Mutex.h"
#include "so/io/IPort.h"

namespace QVO::Printer {

// Wait used by TimedLock: try once, then every kTimedLockStep until the time-out.
inline constexpr int32_t kTimedLockStepMs = 100;
inline constexpr int32_t kInfinite = -1;

// Shared (std::shared_ptr) between the engine, its output worker and the output tasks; the
// port lives as long as its last holder. The lock is recursive: a thread holding it across a
// whole write (DirectSend, an output task) calls the single operations below, which take it
// again. Operations marked "no wait" give up at once when another thread holds the lock.
// Thread-safe. Lock order: the process-wide status lock is taken before this lock, never
// after it; queue locks are never held while this one is taken.
class CPrinterPort {
public:
    explicit CPrinterPort(std::shared_ptr<IO::IPort> port);
    CPrinterPort(const CPrinterPort&) = delete;
    CPrinterPort& operator=(const CPrinterPort&) = delete;

    // No wait: the port's Write when the lock is free and the port open, else 0.
    int32_t WriteLocked(const uint8_t* data, int32_t offset, int32_t length);
    // Waits for the lock: the port's Read when the port is open, else 0.
    int32_t ReadLocked(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll);
    // No wait: the port's ReadOnce when the lock is free and the port open, else 0.
    int32_t ReadOnceLocked(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead);
    // No wait: busy lock -> *resultCode = OPOS_E_BUSY and 0; else the port's Open.
    int32_t OpenLocked(int32_t* resultCode);
    // Waits for the lock: the port's Close.
    int32_t CloseLocked();
    // No wait: the port's last error text, empty when the lock is busy.
    std::wstring GetPortErrorText();
    int32_t GetPortErrorCode();
    bool IsOpen();

    // timeoutMs = kInfinite waits; 0 tries once; otherwise tries once and then up to
    // timeoutMs / 100 more times, 100 ms apart. True when the lock is now held (release it
    // with Unlock).
    bool TimedLock(int32_t timeoutMs) QUVO_TRY_ACQUIRE(true, lock_);
    void Unlock() QUVO_RELEASE(lock_);

    // The port itself, for operations outside the table above; call with the lock held.
    IO::IPort& Port() QUVO_REQUIRES(lock_) { return *port_; }

private:
    friend class PortLockHolder;
    Platform::RecursiveMutex lock_;
    const std::shared_ptr<IO::IPort> owner_;  // keeps the port alive; use port_
    IO::IPort* const port_ QUVO_PT_GUARDED_BY(lock_);
};

// Holds a CPrinterPort's lock for a scope after a successful TimedLock.
class QUVO_SCOPED_CAPABILITY PortLockHolder {
public:
    PortLockHolder(CPrinterPort& port, std::adopt_lock_t) QUVO_REQUIRES(port.lock_) : port_(port) {}
    ~PortLockHolder() QUVO_RELEASE() { port_.Unlock(); }
    PortLockHolder(const PortLockHolder&) = delete;
    PortLockHolder& operator=(const PortLockHolder&) = delete;

private:
    CPrinterPort& port_;
};

}  // namespace QVO::Printer
