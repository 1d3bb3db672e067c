// flock-based exclusive use, and the lock files of network printers.
#include "so/io/ExclusiveLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "so/io/PortEnvironment.h"

namespace QVO::IO {
namespace {

using Platform::UniqueFd;

constexpr mode_t kLockDirMode = 01777;
constexpr mode_t kLockFileMode = 0666;
// Rounds of open-lock-check before giving up on a lock file that keeps being replaced.
constexpr int kAcquireRounds = 8;

// The directory exists and every user can create lock files in it. A directory we make is
// given its mode explicitly, as mkdir applies the umask; the default directory, if its
// owner finds it narrower (an older version made it 0755), is widened too. Any other
// existing directory is used as it stands.
int EnsureDirectory(const std::string& dir, std::string& failedStep) {
    if (::mkdir(dir.c_str(), kLockDirMode) == 0) {
        if (::chmod(dir.c_str(), kLockDirMode) == 0) return 0;
        const int error = errno;
        failedStep = "cannot open the lock directory " + dir + " to every user";
        return error;
    }
    if (errno != EEXIST) {
        const int error = errno;
        failedStep = "cannot create the lock directory " + dir;
        return error;
    }
    struct stat st {};
    const int error = ::stat(dir.c_str(), &st) != 0 ? errno : S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    if (error != 0) {
        failedStep = "cannot use the lock directory " + dir;
        return error;
    }
    if (dir == kDefaultLockDir && st.st_uid == ::geteuid() && (st.st_mode & 07777) != kLockDirMode)
        (void)::chmod(dir.c_str(), kLockDirMode);
    return 0;
}

enum class OpenResult { Opened, Retry, Failed };

// Opens the lock file, creating it if need be. Never follows a link and never blocks on
// a fifo someone put in the shared directory; anything but a regular file is refused.
OpenResult OpenLockFile(const std::string& path, UniqueFd& fd, int& error, std::string& failedStep) {
    constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
    // Existing first: in a sticky directory O_CREAT on another user's file may be refused
    // (fs.protected_regular) even though it exists.
    int raw = ::open(path.c_str(), kFlags);
    if (raw < 0 && errno == ENOENT) {
        raw = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, kLockFileMode);
        if (raw < 0 && errno == EEXIST) return OpenResult::Retry;  // created by someone else just now
        if (raw >= 0) (void)::fchmod(raw, kLockFileMode);          // the umask narrowed it
    }
    if (raw < 0 && errno == EINTR) return OpenResult::Retry;
    if (raw < 0) {
        error = errno;
        failedStep = "cannot open the lock file " + path;
        return OpenResult::Failed;
    }
    fd.reset(raw);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        error = EINVAL;
        failedStep = "the lock file " + path + " is not a regular file";
        return OpenResult::Failed;
    }
    return OpenResult::Opened;
}

// True when `path` still names the file open as `fd`.
bool NamesSameFile(const std::string& path, int fd) {
    struct stat byPath {
    }, byFd{};
    return ::lstat(path.c_str(), &byPath) == 0 && ::fstat(fd, &byFd) == 0 && byPath.st_dev == byFd.st_dev &&
           byPath.st_ino == byFd.st_ino;
}

}  // namespace

int LockExclusive(int fd) {
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc < 0 && errno == EINTR);
    if (rc == 0) return 0;
    return errno == EWOULDBLOCK ? EBUSY : errno;
}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
    if (this != &other) {
        Release();
        fd_ = std::move(other.fd_);
        path_ = std::move(other.path_);
    }
    return *this;
}

int LockFile::Acquire(const std::string& dir, const std::string& name, std::string& failedStep) {
    Release();
    if (int error = EnsureDirectory(dir, failedStep)) return error;
    const std::string path = dir + "/" + name;
    for (int round = 0; round < kAcquireRounds; ++round) {
        UniqueFd fd;
        int error = 0;
        OpenResult opened = OpenLockFile(path, fd, error, failedStep);
        if (opened == OpenResult::Failed) return error;
        if (opened == OpenResult::Retry) continue;
        error = LockExclusive(fd.get());
        if (error == EBUSY) {
            failedStep = "the lock file " + path + " is held by another port";
            return EBUSY;
        }
        if (error != 0) {
            failedStep = "cannot lock the lock file " + path;
            return error;
        }
        if (NamesSameFile(path, fd.get())) {
            fd_ = std::move(fd);
            path_ = path;
            return 0;
        }
        // The holder before us removed the file as we took it: lock what the path names now.
    }
    failedStep = "the lock file " + path + " keeps being replaced";
    return EAGAIN;
}

void LockFile::Release() {
    if (!fd_.isValid()) return;
    // Removed while still held, so nobody else holds it now; whoever opened it meanwhile
    // finds it gone once they hold it and starts over. In a sticky directory only the
    // file's owner may remove it; a file another user made stays for the next holder.
    if (NamesSameFile(path_, fd_.get())) (void)::unlink(path_.c_str());
    fd_.reset();
    path_.clear();
}

}  // namespace QVO::IO
