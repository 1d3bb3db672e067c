// Hive files on disk: locating, reading with a validated cache, and locked atomic replacement.
#include "platform/registry/HiveFile.h"

#include "platform/registry/RegFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <mutex>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace QVO::Platform::Registry::HiveFile {

namespace {

// Owns one descriptor; closing it also drops a flock taken through it.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { Reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            Reset();
            fd_ = other.Release();
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    void Reset() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

private:
    int fd_ = -1;
};

// Removes a temporary file unless the rename that publishes it succeeded.
class TempFileGuard {
public:
    explicit TempFileGuard(std::string path) : path_(std::move(path)) {}
    ~TempFileGuard() {
        if (!path_.empty()) ::unlink(path_.c_str());
    }
    TempFileGuard(const TempFileGuard&) = delete;
    TempFileGuard& operator=(const TempFileGuard&) = delete;
    void Keep() { path_.clear(); }

private:
    std::string path_;
};

// The one place errno becomes a Status. Anything that says "you may not write here" is
// AccessDenied, including a folder path that runs through a file.
Status SystemError(int err, const std::string& context) {
    const bool denied = err == EACCES || err == EPERM || err == EROFS || err == ENOTDIR;
    return {denied ? Error::AccessDenied : Error::IoError, context + ": " + std::strerror(err)};
}

struct CacheEntry {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    std::shared_ptr<const KeyNode> tree;

    bool Matches(const struct stat& st) const {
        return device == st.st_dev && inode == st.st_ino && size == st.st_size &&
               modified.tv_sec == st.st_mtim.tv_sec && modified.tv_nsec == st.st_mtim.tv_nsec;
    }
};

std::mutex cacheMutex;
std::map<std::string, CacheEntry> cache;  // by hive file path; guarded by cacheMutex

std::shared_ptr<const KeyNode> FromCache(const std::string& path, const struct stat& st) {
    std::lock_guard lock(cacheMutex);
    auto it = cache.find(path);
    return it != cache.end() && it->second.Matches(st) ? it->second.tree : nullptr;
}

void ToCache(const std::string& path, const struct stat& st, std::shared_ptr<const KeyNode> tree) {
    std::lock_guard lock(cacheMutex);
    cache[path] = {st.st_dev, st.st_ino, st.st_size, st.st_mtim, std::move(tree)};
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    struct passwd pw;
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(getuid(), &pw, buffer, sizeof buffer, &found) == 0 && found) return found->pw_dir;
    return "/";
}

bool ReadAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) return true;
        out.append(buffer, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        done += static_cast<size_t>(n);  // a short write just continues from where it stopped
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

// Reads and parses the file at `path` into `root`; a missing file leaves `root` empty.
// `st` receives the file's identity (zeroed when missing).
Status ReadHive(const std::string& path, Hive hive, KeyNode& root, struct stat& st) {
    st = {};
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR) return {};
        return SystemError(errno, "cannot read " + path);
    }
    std::string bytes;
    if (::fstat(fd.get(), &st) != 0 || !ReadAll(fd.get(), bytes)) return SystemError(errno, "cannot read " + path);
    return ParseHive(bytes, hive, path, root);
}

// Temporary files of writers that were killed before their rename. Only called under the
// hive lock, when no live writer can own one.
void RemoveStaleTemporaries(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string prefix = p.filename().string() + ".tmp.";
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(FolderOf(path), ec)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0) ::unlink(entry.path().c_str());
    }
}

Status OpenLock(const std::string& path, UniqueFd& lock) {
    const std::string lockPath = path + ".lock";
    lock = UniqueFd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
    const int openError = errno;
    // flock works on a read-only descriptor too, so a lock file we may not write will do;
    // creating the temporary file further on then tells whether the hive can be replaced.
    if (!lock && (openError == EACCES || openError == EROFS)) lock = UniqueFd(::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC));
    if (!lock) return SystemError(openError, "cannot write " + path + ": cannot open lock file " + lockPath);
    while (::flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return SystemError(errno, "cannot write " + path + ": cannot lock " + lockPath);
    }
    return {};
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, durable on return.
Status ReplaceFile(const std::string& path, const std::string& bytes, mode_t mode, struct stat& written) {
    const std::string folder = FolderOf(path);
    std::string name = path + ".tmp.XXXXXX";
    UniqueFd fd(::mkostemp(name.data(), O_CLOEXEC));
    if (!fd) return SystemError(errno, "cannot write " + path + ": cannot create a file in " + folder);
    TempFileGuard guard(name);
    if (::fchmod(fd.get(), mode) != 0 || !WriteAll(fd.get(), bytes) || ::fsync(fd.get()) != 0 ||
        ::fstat(fd.get(), &written) != 0)
        return SystemError(errno, "cannot write " + name);
    if (::close(fd.Release()) != 0) return SystemError(errno, "cannot write " + name);
    if (::rename(name.c_str(), path.c_str()) != 0) return SystemError(errno, "cannot write " + path);
    guard.Keep();
    // The rename is only durable once the folder's entry is on disk.
    UniqueFd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir && ::fsync(dir.get()) != 0 && errno != EINVAL) return SystemError(errno, "cannot sync folder " + folder);
    return {};
}

}  // namespace

std::string PathOf(Hive hive) {
    const bool user = hive == Hive::CurrentUser;
    const char* file = user ? "HKCU.reg" : "HKLM.reg";
    if (const char* dir = std::getenv("QUVO_REGISTRY_DIR"); dir && *dir) return std::string(dir) + "/" + file;
    if (!user) return "/etc/quvo/HKLM.reg";
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    const std::string config = xdg && *xdg ? std::string(xdg) : HomeFolder() + "/.config";
    return config + "/quvo/" + file;
}

Status ParseHive(const std::string& bytes, Hive hive, const std::string& fileName, KeyNode& root) {
    root = KeyNode();
    if (bytes.empty()) return {};  // an empty file holds nothing to lose: an empty hive
    RegFile::Document doc;
    RegFile::ParseError error;
    if (!RegFile::Parse(bytes, doc, error))
        return {Error::Corrupt, fileName + ":" + std::to_string(error.line) + ": " + error.what};
    // Values follow their key's section line, so the section's node serves them all without
    // walking the path again (hives are re-read on every change; this is the hot loop).
    KeyNode* section = nullptr;
    for (auto& op : doc.operations) {
        if (op.hive != hive)
            return {Error::Corrupt, fileName + ":" + std::to_string(op.line) + ": key of another root in this hive file"};
        if (op.action == RegFile::Operation::Action::CreateKey) {
            CreateKey(root, op.key, &section);
        } else if (op.action == RegFile::Operation::Action::SetValue && section) {
            section->SetValue(op.name, std::move(op.value));
        } else {
            RegFile::Apply(root, op);
            section = nullptr;
        }
    }
    return {};
}

Status Load(Hive hive, std::shared_ptr<const KeyNode>& out) {
    const std::string path = PathOf(hive);
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        if (errno != ENOENT && errno != ENOTDIR) return SystemError(errno, "cannot read " + path);
        out = std::make_shared<const KeyNode>();
        return {};
    }
    struct stat st;
    if (::fstat(fd.get(), &st) != 0) return SystemError(errno, "cannot read " + path);
    if ((out = FromCache(path, st))) return {};
    std::string bytes;
    if (!ReadAll(fd.get(), bytes)) return SystemError(errno, "cannot read " + path);
    auto root = std::make_shared<KeyNode>();
    if (Status s = ParseHive(bytes, hive, path, *root); !s) return s;
    ToCache(path, st, root);
    out = std::move(root);
    return {};
}

Status Update(Hive hive, const Change& change) {
    const std::string path = PathOf(hive);
    const std::string folder = FolderOf(path);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return SystemError(ec.value(), "cannot write " + path + ": cannot create folder " + folder);

    UniqueFd lock;
    if (Status s = OpenLock(path, lock); !s) return s;
    RemoveStaleTemporaries(path);

    auto root = std::make_shared<KeyNode>();
    struct stat old;
    // A damaged hive stops here: it is reported and stays as it is for a person to repair.
    if (Status s = ReadHive(path, hive, *root, old); !s) return s;
    bool changed = true;
    if (Status s = change(*root, changed); !s || !changed) return s;

    const mode_t mode = old.st_mode ? (old.st_mode & 07777) : (hive == Hive::CurrentUser ? 0600 : 0644);
    const std::string bytes = RegFile::Serialize(*root, RegFile::RootName(hive), RegFile::Encoding::Utf8, false);
    struct stat written;
    if (Status s = ReplaceFile(path, bytes, mode, written); !s) return s;
    ToCache(path, written, std::move(root));
    return {};
}

}  // namespace QVO::Platform::Registry::HiveFile
