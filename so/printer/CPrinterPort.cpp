// CPrinterPort: the single operations, each under the port lock.
#include "so/printer/CPrinterPort.h"

#include <thread>

#include "constants/OposConstants.h"

namespace QVO::Printer {

CPrinterPort::CPrinterPort(std::shared_ptr<IO::IPort> port) : owner_(std::move(port)), port_(owner_.get()) {}

int32_t CPrinterPort::WriteLocked(const uint8_t* data, int32_t offset, int32_t length) {
    if (!lock_.try_lock()) return 0;
    Platform::RecursiveLock held(lock_, std::adopt_lock);
    return port_->IsOpen() ? port_->Write(data, offset, length) : 0;
}

int32_t CPrinterPort::ReadLocked(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead, int32_t waitAll) {
    Platform::RecursiveLock held(lock_);
    return port_->IsOpen() ? port_->Read(buffer, offset, length, bytesRead, waitAll) : 0;
}

int32_t CPrinterPort::ReadOnceLocked(uint8_t* buffer, int32_t offset, int32_t length, int32_t& bytesRead) {
    if (!lock_.try_lock()) return 0;
    Platform::RecursiveLock held(lock_, std::adopt_lock);
    return port_->IsOpen() ? port_->ReadOnce(buffer, offset, length, bytesRead, 0) : 0;
}

int32_t CPrinterPort::OpenLocked(int32_t* resultCode) {
    if (!lock_.try_lock()) {
        if (resultCode != nullptr) *resultCode = Opos::OPOS_E_BUSY;
        return 0;
    }
    Platform::RecursiveLock held(lock_, std::adopt_lock);
    return port_->Open();
}

int32_t CPrinterPort::CloseLocked() {
    Platform::RecursiveLock held(lock_);
    return port_->Close();
}

std::wstring CPrinterPort::GetPortErrorText() {
    if (!lock_.try_lock()) return {};
    Platform::RecursiveLock held(lock_, std::adopt_lock);
    const wchar_t* text = port_->GetLastErrorText();
    return text != nullptr ? std::wstring(text) : std::wstring();
}

int32_t CPrinterPort::GetPortErrorCode() {
    Platform::RecursiveLock held(lock_);
    return port_->GetLastErrorCode();
}

bool CPrinterPort::IsOpen() {
    Platform::RecursiveLock held(lock_);
    return port_->IsOpen() != 0;
}

bool CPrinterPort::TimedLock(int32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        lock_.lock();
        return true;
    }
    if (lock_.try_lock()) return true;
    for (int32_t attempt = 0; attempt < timeoutMs / kTimedLockStepMs; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kTimedLockStepMs));
        if (lock_.try_lock()) return true;
    }
    return false;
}

void CPrinterPort::Unlock() { lock_.unlock(); }

}  // namespace QVO::Printer
