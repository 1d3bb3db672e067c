// Exclusive use of a device or a network printer across processes: flock on a descriptor,
// and lock files in the system-wide lock directory.
#pragma once

#include <string>

#include "platform/posix/UniqueFd.h"

namespace QVO::IO {

// Takes flock(LOCK_EX | LOCK_NB) on `fd`. It holds against every other open file
// description, in this process or another, and against root too; it goes with the
// descriptor. Returns 0, EBUSY when someone else holds it, or the errno of the failure.
int LockExclusive(int fd);

// One held lock file `<dir>/<name>`. Every user can lock in the directory: it is created
// sticky and world-writable (01777, as /run/lock is) and the files 0666, whatever the
// umask. Release removes the file while still holding it; an acquirer that got hold of a
// removed or replaced file notices (the path no longer names its file) and starts over,
// so only one holder of the current file exists and no lock files pile up.
// Move-only owner; not thread-safe (one port uses it).
class LockFile {
public:
    LockFile() = default;
    ~LockFile() { Release(); }
    LockFile(LockFile&& other) noexcept = default;
    LockFile& operator=(LockFile&& other) noexcept;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

    // 0 when held; EBUSY when another holder has it; otherwise the errno of the step that
    // failed, which `failedStep` then names ("cannot create the lock directory /run/lock/quvo").
    int Acquire(const std::string& dir, const std::string& name, std::string& failedStep);
    void Release();
    bool IsHeld() const { return fd_.isValid(); }
    const std::string& Path() const { return path_; }

private:
    Platform::UniqueFd fd_;
    std::string path_;
};

}  // namespace QVO::IO
